#include "base/Log.h"

#include "base/LogCapture.h"
#include "platform/DebuggerLogSink.h"

#include <atomic>
#include <boost/filesystem/path.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/utility/setup/common_attributes.hpp>
#include <boost/log/utility/setup/file.hpp>
#include <iomanip>
#include <mutex>
#include <vector>

namespace logging = boost::log;
namespace expr = boost::log::expressions;
namespace keywords = boost::log::keywords;

namespace obx {

namespace {

BOOST_LOG_ATTRIBUTE_KEYWORD(severity, "Severity", LogLevel)

using Logger = logging::sources::severity_logger_mt<LogLevel>;

Logger& logger() {
    static Logger instance;
    return instance;
}

// The lowest level that some sink writes: the file sink's level, or trace
// while a capture is active. Kept apart from Boost's filters so that the hot
// paths can test it without opening a record.
std::atomic<int> fileThreshold{static_cast<int>(LogLevel::info)};
std::atomic<int> activeCaptures{0};

struct OpenSinks {
    std::mutex mutex;
    std::vector<boost::shared_ptr<logging::sinks::sink>> sinks;
};

OpenSinks& openSinks() {
    static OpenSinks instance;
    return instance;
}

} // namespace

const char* logLevelName(int level) {
    static const char* const names[] = {"trace", "debug", "info", "warning", "error", "fatal"};
    if (level < 0 || level > 5) {
        return "unknown";
    }
    return names[level];
}

std::ostream& operator<<(std::ostream& out, Hex hex) {
    const auto flags = out.flags();
    out << std::hex << std::nouppercase << hex.value;
    out.flags(flags);
    return out;
}

bool logEnabled(LogLevel level) {
    return activeCaptures.load(std::memory_order_relaxed) > 0 ||
           static_cast<int>(level) >= fileThreshold.load(std::memory_order_relaxed);
}

void logText(LogLevel level, std::string_view text) {
    if (!logEnabled(level)) {
        return;
    }
    auto& source = logger();
    if (auto record = source.open_record(keywords::severity = level)) {
        logging::record_ostream stream(record);
        stream << text;
        stream.flush();
        source.push_record(std::move(record));
    }
}

void openLog(const LogOptions& options) {
    auto core = logging::core::get();
    const auto level = static_cast<LogLevel>(options.level);
    auto& open = openSinks();
    std::lock_guard lock(open.mutex);

    // The native form: no narrow conversion of ours. (Boost.Log's file stream
    // still opens through a narrow path on mingw: docs/platform-windows.md.)
    const boost::filesystem::path pattern((options.folder / "obxhelper_%2N.log").native());
    auto fileSink = logging::add_file_log(
        keywords::file_name = pattern,
        // Binary: the same bytes on every system, so the rotation size counts what the file holds.
        keywords::open_mode = std::ios_base::out | std::ios_base::app | std::ios_base::binary,
        keywords::rotation_size = logRotationSize, keywords::auto_flush = true,
        keywords::format = "%TimeStamp%: %ThreadID% %Message%");
    fileSink->set_filter(severity >= level);
    open.sinks.push_back(fileSink);

    if (options.debuggerOutput) {
        auto debuggerSink = makeDebuggerLogSink();
        debuggerSink->set_filter(severity >= level);
        core->add_sink(debuggerSink);
        open.sinks.push_back(debuggerSink);
    }

    fileThreshold = options.level;
    logging::add_common_attributes();
}

void closeLog() {
    auto core = logging::core::get();
    auto& open = openSinks();
    std::lock_guard lock(open.mutex);
    for (auto& sink : open.sinks) {
        sink->flush();
        core->remove_sink(sink);
    }
    open.sinks.clear();
    fileThreshold = static_cast<int>(LogLevel::info);
}

// ---- capture ---------------------------------------------------------------

struct LogCapture::Store {
    mutable std::mutex mutex;
    std::vector<LogRecord> records;
};

namespace {

class CaptureBackend : public logging::sinks::basic_sink_backend<logging::sinks::synchronized_feeding> {
public:
    explicit CaptureBackend(std::shared_ptr<LogCapture::Store> store) : store_(std::move(store)) {}

    void consume(const logging::record_view& record) {
        auto level = logging::extract<LogLevel>("Severity", record);
        auto message = logging::extract<std::string>("Message", record);
        std::lock_guard lock(store_->mutex);
        store_->records.push_back({level ? *level : LogLevel::trace, message ? *message : std::string()});
    }

private:
    std::shared_ptr<LogCapture::Store> store_;
};

using CaptureSink = logging::sinks::synchronous_sink<CaptureBackend>;

} // namespace

LogCapture::LogCapture() : store_(std::make_shared<Store>()) {
    auto sink = boost::make_shared<CaptureSink>(boost::make_shared<CaptureBackend>(store_));
    logging::core::get()->add_sink(sink);
    // Boost holds the sink by boost::shared_ptr; keep our own reference to remove it later.
    sink_ = std::shared_ptr<void>(new boost::shared_ptr<CaptureSink>(sink), [](void* p) {
        auto* held = static_cast<boost::shared_ptr<CaptureSink>*>(p);
        logging::core::get()->remove_sink(*held);
        delete held;
    });
    ++activeCaptures;
}

LogCapture::~LogCapture() {
    sink_.reset();
    --activeCaptures;
}

std::vector<LogRecord> LogCapture::records() const {
    std::lock_guard lock(store_->mutex);
    return store_->records;
}

std::vector<std::string> LogCapture::texts() const {
    std::vector<std::string> result;
    for (auto& record : records()) {
        result.push_back(record.text);
    }
    return result;
}

bool LogCapture::contains(LogLevel level, const std::string& text) const {
    std::lock_guard lock(store_->mutex);
    for (auto& record : store_->records) {
        if (record.level == level && record.text == text) {
            return true;
        }
    }
    return false;
}

void LogCapture::clear() {
    std::lock_guard lock(store_->mutex);
    store_->records.clear();
}

} // namespace obx
