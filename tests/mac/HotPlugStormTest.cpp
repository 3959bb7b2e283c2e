// A hot-plug storm: the demonstration devices come and go at random while the host streams,
// records and keeps choosing devices, on the virtual clock.
#include "UVCCam.h"

#include "UVCCamSimulation.h"
#include "mac/MacAudioMgr.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"
#include "support/SimulatedWorld.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <random>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
namespace sim = uvccam::sim;

int g_frames = 0;

QStringList sorted(QStringList ids)
{
    ids.sort();
    return ids;
}

class HotPlugStorm : public SimulatedWorld {
protected:
    HotPlugStorm() { uvccam::platform::Platform::current().setTemporaryDirectory(directory.path()); }
    ~HotPlugStorm() override { MacAudioMgr::dispose(); }

    // One arrival or departure; sometimes the host acts on what it last listed before the
    // run loop has told it; then up to 40 ms pass.
    void event()
    {
        const QStringList attached = sim::attachedDevices();
        if (attached.isEmpty() || (attached.size() < 6 && rng() % 2)) {
            const QString model = QString::fromLatin1(kModels[rng() % 4]);
            const bool camera = model != QLatin1String("VOXA760");
            camera ? sim::attachCamera(model) : sim::attachSpeakerphone(model);
            // A camera arrives as its video and its HID interface.
            adds += camera ? 2 : 1;
            changes += camera ? 2 : 1;
        } else {
            const QString id = attached[static_cast<int>(rng() % attached.size())];
            const bool camera = id.startsWith(QLatin1String("0x"));
            sim::detach(id);
            // A camera's video leaves, then its HID interface, whose departure the HID manager
            // follows with one more "ready" (an arrival's signals). Only the HID interface's
            // departure always reports a removal; the video's does when it was the selection.
            adds += camera ? 1 : 0;
            changes += camera ? 3 : 1;
            removesAtLeast += 1;
            removesAtMost += camera ? 2 : 1;
        }
        if (host && rng() % 4 == 0 && !listed.isEmpty())
            host->setDevice(listed[static_cast<int>(rng() % listed.size())]);
        clock().advance(std::chrono::milliseconds(rng() % 41));
        log().clear();
    }

    // What a host does when told of a change: list, keep or change its choice, stream it,
    // and record now and then.
    void hostReacts()
    {
        listed.clear();
        for (const DeviceInfo& device : host->getDeviceList())
            listed << device.deviceUniqueId;
        ASSERT_EQ(sorted(listed), sorted(sim::attachedDevices()));
        if (listed.isEmpty())
            return;
        if (!listed.contains(host->getDeviceInfo().deviceUniqueId) || rng() % 8 == 0) {
            ASSERT_EQ(host->setDevice(listed[static_cast<int>(rng() % listed.size())]), 1);
        }
        host->startVideoStream(0);
        if (clock().now() >= nextRecording && host->startAudioRecording(0, QString()) == 0)
            nextRecording = clock().now() + 10s;
    }

    static constexpr const char* kModels[] = {"RX710", "ST470", "LUM610", "VOXA760"};
    std::mt19937 rng{12};
    QTemporaryDir directory;
    std::unique_ptr<UVCCam> host;
    QStringList listed;
    uvccam::platform::TimePoint nextRecording{};
    int adds = 0, changes = 0, removesAtLeast = 0, removesAtMost = 0;
};

TEST_F(HotPlugStorm, AThousandArrivalsAndDeparturesLeaveTheListRightAndNothingReachesADeletedObject)
{
    host.reset(acquireUVCCam());
    QObject witness;  // outlives the object, so that a stray emission would still be heard
    int heardAdds = 0, heardChanges = 0, heardRemoves = 0;
    auto* emitter = qobject_cast<MacUVCCam*>(host.get());
    ASSERT_TRUE(emitter);
    QObject::connect(emitter, &MacUVCCam::deviceAdd, &witness, [&] { ++heardAdds; });
    QObject::connect(emitter, &MacUVCCam::deviceChange, &witness, [&] { ++heardChanges; });
    QObject::connect(emitter, &MacUVCCam::deviceRemove, &witness, [&] { ++heardRemoves; });
    host->setVideoCallback([](unsigned char*, int, int, int) { ++g_frames; });
    g_frames = 0;

    for (int i = 0; i < 1000 && !HasFatalFailure(); ++i) {
        SCOPED_TRACE(i);
        event();
        hostReacts();
    }
    EXPECT_EQ(heardAdds, adds);
    EXPECT_EQ(heardChanges, changes);
    EXPECT_GE(heardRemoves, removesAtLeast);
    EXPECT_LE(heardRemoves, removesAtMost);
    EXPECT_GT(g_frames, 100) << "the stream ran";
    EXPECT_GE(QDir(directory.path()).entryList({"*.m4a"}).size(), 2) << "clips were recorded";

    const auto heard = std::make_tuple(heardAdds, heardChanges, heardRemoves);
    host.reset();
    for (int i = 0; i < 100; ++i)
        event();
    EXPECT_EQ(std::make_tuple(heardAdds, heardChanges, heardRemoves), heard) << "nothing after the object went";
}

}  // namespace
