// A microphone's pipeline over GStreamer: its level measured all the time, its sound written to an M4A file on request.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

namespace uvccam::platform {

class GstBusReader;


// While it runs, the recorder is one pipeline:
//   microphone ! level ! gate [! convert ! resample ! AAC encoder ! mp4mux ! filesink]
// "microphone" is the source (pulsesrc on a sound-server source in production), "level"
// measures every kLevelIntervalNs, and the gate (a valve) keeps the file part shut until a
// file is asked for. recordTo() starts the file part and opens the gate; finishFile()
// shuts the gate, sends end-of-stream through the file part alone and waits until mp4mux
// has written its index,
// so the microphone stays open and the level goes on between two files.
// The file part is linked from the start and stays stopped (locked in the NULL state)
// between files.
//
// Every message is read on the main thread, through a socket notifier on the bus. An error
// of the file part (the file cannot be written, the disk is full) ends the file and is
// passed to `fileFailed`; any other error ends the recorder and is passed to `failed`.
// Neither is called from inside the recorder's own calls.
class AudioRecorderGst {
public:
    // The level element measures this often, and levels() is the power over the last
    // kLevelWindow measurements: the library's meter reads a tenth of a second of sound at
    // every tick, and has a first reading a fifth of a tenth after the sound begins, so
    // that the meter's first tick already shows the microphone.
    static constexpr long long kLevelIntervalNs = 20'000'000;
    static constexpr std::size_t kLevelWindow = 5;
    // How long finishFile() waits for the file's index at most.
    static constexpr int kFinishTimeoutMs = 5000;

    using Failure = std::function<void(const QString& reason)>;

    // Takes ownership of `source` (an element with one "src" pad giving raw audio).
    AudioRecorderGst(GstElement* source, Failure failed, Failure fileFailed);
    ~AudioRecorderGst();
    AudioRecorderGst(const AudioRecorderGst&) = delete;
    AudioRecorderGst& operator=(const AudioRecorderGst&) = delete;

    // pulsesrc on the sound server's source of that name; nullptr when GStreamer lacks it.
    static GstElement* soundServerSource(const QString& sourceName);

    // Plays the pipeline; false, with the reason, when it cannot play.
    bool start(QString* error);
    bool isRunning() const { return pipeline_ != nullptr; }

    // The mean power of the last measurements (at most kLevelWindow), one value per channel
    // in decibels relative to full scale (minus infinity for digital silence); empty before
    // the first measurement.
    std::vector<float> levels() const;

    // Starts writing to `path` (replacing any file there) from the next sound on. False,
    // with the reason, when the file cannot be opened or one is being written already. Before
    // the microphone's first measurement the file waits for it, and a file that then cannot
    // be opened is reported to `fileFailed`.
    bool recordTo(const QString& path, QString* error);
    bool isRecording() const { return writing_; }
    // Ends the file being written and returns once it is complete and closed: empty on
    // success, otherwise why the file is not complete (or, when the microphone gave no sound
    // before, why no file was written). Nothing to do without a file.
    QString finishFile();

    // Stops the pipeline; a file still being written is finished first. Returns what
    // finishFile() returned.
    QString stop();

private:
    void readBus();
    void handleError(GstMessage* message);
    void measured(const std::vector<double>& rmsDb);
    bool startFilePart(QString* error);
    void stopFilePart();
    void tearDown();

    GstElement* source_ = nullptr;  // until the pipeline owns it
    Failure failed_;
    Failure fileFailed_;
    GstElement* pipeline_ = nullptr;
    GstElement* gate_ = nullptr;
    GstElement* file_ = nullptr;  // the file part, a bin, stopped between files
    bool writing_ = false;
    bool fileWaiting_ = false;  // asked for before the microphone streamed
    QString path_;
    GstBus* bus_ = nullptr;
    std::unique_ptr<GstBusReader> busReader_;
    // Per measurement (oldest first), per channel: power relative to full scale.
    std::deque<std::vector<double>> powers_;
    std::uint64_t measurements_ = 0;
};

}  // namespace uvccam::platform
