// Linux's uvcvideo driver played for one emulated camera: its nodes' ioctls over the simulator's camera model.
#pragma once

#include "platform/sim/UvcCameraModel.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;
struct uvc_xu_control_query;
struct v4l2_ext_control;
struct v4l2_format;
struct v4l2_queryctrl;
struct v4l2_querymenu;

namespace uvccam::testing {

// What sysfs `descriptors` holds for a camera: its device descriptor (with the serial
// string's index), then its one configuration: the video-control interface (0) with the
// camera terminal 1, the processing unit, the extension units 4 to 9 and an output terminal
// 10 in one chain, each terminal and unit with the bmControls the camera declares; a
// video-streaming interface (1) with an uncompressed format for each of the camera's video
// modes; and, when `hid`, the vendor HID interface (4).
QByteArray cameraUsbDescriptors(const platform::UvcCameraModel& camera, std::uint16_t vendorId,
                                std::uint16_t productId, bool hid);

// uvcvideo bound to one camera, as a program sees it through the camera's two nodes. It
// knows the camera only as the real driver does: the entities and bmControls of its
// descriptors, and the answers to the class requests it sends, which go to the camera
// model (so tests read there what reached the camera).
//
// It answers what the library's backends and GStreamer's v4l2src send. Capture node:
// VIDIOC_QUERYCAP; VIDIOC_QUERYCTRL (NEXT_CTRL too, with the control classes) and
// VIDIOC_QUERYMENU; VIDIOC_G/S_CTRL and VIDIOC_G/S_EXT_CTRLS (current values, `which` the
// current values or the controls' class) over the standard controls that the camera
// terminal and processing unit declare, with uvcvideo's mapping to V4L2 controls;
// UVCIOC_CTRL_QUERY on extension units; the video formats, sizes and intervals that the
// streaming descriptors declare (VIDIOC_ENUM_FMT, ENUM_FRAMESIZES, ENUM_FRAMEINTERVALS,
// TRY/S_FMT, G/S_PARM, with uvcvideo's nearest-match rules), the whole frame as the crop
// bounds (VIDIOC_G_SELECTION, VIDIOC_CROPCAP) and the camera terminal as the one input
// (VIDIOC_ENUMINPUT, G_INPUT). Anything else fails with ENOTTY (VIDIOC_QUERY_EXT_CTRL,
// TRY_EXT_CTRLS, G_FMT, S_INPUT, setting a crop, events, video standards, buffers). The
// metadata node answers VIDIOC_QUERYCAP only.
//
// Video comes through read(), not through buffers: the capture node says
// V4L2_CAP_READWRITE, not V4L2_CAP_STREAMING, because umockdev cannot follow the
// descriptors that mmap streaming duplicates. Each read() gives one whole frame (cut to the
// reader's buffer), the camera's test frame in the current mode. A descriptor's first read
// starts a stream, whose frames the camera numbers from 0; its frames are due one frame
// interval apart from that read, and a read before its frame is due is held, not refused,
// and answered when the frame is due (from the driver's own thread: umockdev's thread stays
// free, and a blocking reader never waits on anything but the clock). No frame is dropped:
// a reader that falls behind gets the frames it missed at once. The stream ends when that
// descriptor is closed. Another descriptor's read meanwhile fails with EBUSY. After an
// unplug a held read and every later read fail with ENODEV. The node is a plain file, so
// poll() always says it is readable: a reader finds out by reading.
//
// Like the driver it
// - asks every declared standard control GET_INFO when it binds (that decides which of
//   GET_CUR and SET_CUR it offers), reads a control's limits once and its current value
//   once (no control of these cameras says it changes by itself), and asks the current
//   value before writing a V4L2 control that fills only part of its UVC control;
// - clamps integers to the limits after rounding to the step (an unsigned control compares
//   as unsigned 32 bits, so a negative value becomes the maximum), refuses a menu item out
//   of range (ERANGE) or missing (EINVAL; the auto-exposure modes the camera's GET_RES does
//   not name are missing);
// - refuses with EACCES a manual control set while its automatic partner is on, and marks
//   it inactive (exposure time under auto-exposure other than manual, white-balance
//   temperature and focus under their automatic switches), as kernels since 6.2 do for
//   VIDIOC_S_CTRL too;
// - for UVCIOC_CTRL_QUERY: ENOENT for a unit that is no extension unit or a selector its
//   bmControls lacks, and asks GET_LEN and GET_INFO the first time a control is used;
//   ENOBUFS when `size` is not the control's length (2 for GET_LEN, 1 for GET_INFO);
// - takes a stall to the camera's request error code control (GET_CUR, unit 0, selector 2)
//   and fails as that code says (4 ERANGE, 5 to 8 EINVAL, 1 EBUSY ...), with EPIPE when
//   that control stalls too, as on the simulator's cameras unless a test gives them one.
class EmulatedUvcDriver {
public:
    EmulatedUvcDriver(std::unique_ptr<platform::UvcCameraModel> camera, const QByteArray& descriptors, QString card,
                      QString busInfo);
    ~EmulatedUvcDriver();
    EmulatedUvcDriver(const EmulatedUvcDriver&) = delete;
    EmulatedUvcDriver& operator=(const EmulatedUvcDriver&) = delete;

    // Answers the two nodes; call before they exist, as a program may open them at once.
    void attach(_UMockdevTestbed* testbed, const QString& captureNode, const QString& metadataNode);
    // The camera has gone: every later ioctl fails with ENODEV.
    void unplug();

    // The frames the camera sent in all streams since the plug (each to a reader), the
    // streams it started, and whether one runs (a closed descriptor's stream ends within a
    // frame interval of the close).
    int framesSent() const;
    int videoStreams() const;
    bool isStreaming() const;

    // Runs `use` on the camera while no ioctl is being answered (fault knobs, values).
    void withCamera(const std::function<void(platform::UvcCameraModel&)>& use);
    // Every request the camera received since the plug (or the last clear), in order.
    std::vector<platform::UvcCameraModel::Request> requests() const;
    void clearRequests();

    // For the camera's other functions (its HID firmware applies deferred properties): the
    // camera and the lock that every access to it holds.
    platform::UvcCameraModel& camera() { return *camera_; }
    const std::shared_ptr<std::recursive_mutex>& lock() const { return lock_; }

private:
    struct Control;
    struct Exposed;
    struct ExtensionControl;
    struct Frame;
    struct Format;
    class Call;
    using Clock = std::chrono::steady_clock;

    static int onCapture(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    static int onMetadata(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    static int onRead(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);

    void bind(const QByteArray& descriptors);
    void answer(_UMockdevIoctlClient* client, bool capture);
    int ioctl(Call& call, bool capture);
    int query(std::uint8_t request, std::uint8_t unit, std::uint8_t selector, std::uint8_t* data, int size);
    int loadCurrent(Control& control);
    int readLimits(Control& control);
    const Exposed* find(std::uint32_t id) const;
    int describe(std::uint32_t id, v4l2_queryctrl& description);
    int menuItem(v4l2_querymenu& item);
    int value(const Exposed& exposed, std::int32_t* value);
    int checkAccess(const v4l2_ext_control* list, std::uint32_t count, bool set);
    int getControls(std::uint32_t which, v4l2_ext_control* list, std::uint32_t count);
    int setControls(std::uint32_t which, v4l2_ext_control* list, std::uint32_t count);
    int set(const Exposed& exposed, std::int32_t* value);
    int commit();
    void rollBack();
    int extensionQuery(Call& call, uvc_xu_control_query& query);
    int videoIoctl(Call& call, unsigned long request);
    int tryFormat(v4l2_format& format, std::size_t* formatIndex, std::size_t* frameIndex) const;
    platform::UvcCameraModel::VideoMode currentMode() const;
    void read(_UMockdevIoctlClient* client);
    void deliver(_UMockdevIoctlClient* client);
    void endStream();
    void pace();

    std::shared_ptr<std::recursive_mutex> lock_ = std::make_shared<std::recursive_mutex>();
    std::unique_ptr<platform::UvcCameraModel> camera_;
    QString card_;
    QString busInfo_;
    bool unplugged_ = false;
    // In the order uvcvideo walks the chain from the output terminal, which is the order it
    // sends a multi-control set in.
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Exposed> exposed_;  // by V4L2 ID
    std::map<int, std::uint64_t> extensionUnits_;  // unit ID: bmControls
    std::map<std::pair<int, int>, ExtensionControl> extensionControls_;
    std::vector<_UMockdevIoctlBase*> handlers_;

    std::vector<Format> formats_;  // as the streaming descriptors declare them
    std::size_t format_ = 0;       // the current mode
    std::size_t frame_ = 0;
    std::uint32_t interval_ = 0;
    // The descriptor whose reads stream (held while it does), and its read that waits for
    // its frame.
    _UMockdevIoctlClient* streamer_ = nullptr;
    _UMockdevIoctlClient* heldRead_ = nullptr;
    Clock::time_point streamStart_;
    std::uint32_t streamFrames_ = 0;  // frames of this stream read so far
    std::vector<std::uint8_t> frameBytes_;
    // Answers held reads when their frames are due, and ends the stream when its descriptor
    // has been closed (umockdev tells no one: the driver looks once a frame interval); runs
    // from the first stream until the unplug or the end.
    std::thread pacer_;
    std::condition_variable_any paced_;
    bool stopPacing_ = false;
};

}  // namespace uvccam::testing
