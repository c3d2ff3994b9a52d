#include "Options.h"

#include "hardware/DeviceTable.h"

#include <charconv>

namespace obx::kernd {

namespace {

class ArgumentReader {
public:
    explicit ArgumentReader(std::span<const std::string_view> args) : args_(args) {}

    bool done() const { return next_ >= args_.size(); }

    // Splits "--name=value" so that both spellings read alike.
    std::string_view takeName() {
        std::string_view arg = args_[next_++];
        const size_t eq = arg.find('=');
        hasInlineValue_ = arg.starts_with("--") && eq != std::string_view::npos;
        if (!hasInlineValue_)
            return arg;
        inlineValue_ = arg.substr(eq + 1);
        return arg.substr(0, eq);
    }

    bool takeValue(std::string_view& value) {
        if (hasInlineValue_) {
            value = inlineValue_;
            hasInlineValue_ = false;
            return true;
        }
        if (done())
            return false;
        value = args_[next_++];
        return true;
    }

    bool hasUnusedValue() const { return hasInlineValue_; }

private:
    std::span<const std::string_view> args_;
    size_t next_ = 0;
    bool hasInlineValue_ = false;
    std::string_view inlineValue_;
};

// The options whose value is a file or a folder of the daemon's.
struct PathOption {
    std::string_view name;
    const char* what;
    std::filesystem::path DaemonOptions::*member;
};

constexpr PathOption kPathOptions[] = {
    {"--runtime-dir", "a folder", &DaemonOptions::runtimeDir},
    {"--devices-conf", "a file", &DaemonOptions::devicesFile},
    {"--state-dir", "a folder", &DaemonOptions::stateDir},
    {"--hardware-root", "a folder", &DaemonOptions::hardwareRoot},
};

const PathOption* pathOption(std::string_view name) {
    for (const PathOption& option : kPathOptions) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

ParsedOptions failure(std::string text) {
    return ParsedOptions{std::nullopt, std::move(text)};
}

} // namespace

bool parseNumber(std::string_view text, uint32_t max, uint32_t& value) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return false;
    uint64_t parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
    if (error != std::errc() || end != text.data() + text.size() || parsed > max)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

ParsedOptions parseOptions(std::span<const std::string_view> args, const char* runtimeDirVariable) {
    DaemonOptions options;
    options.runtimeDir = runtimeDirVariable != nullptr && *runtimeDirVariable != '\0' ? runtimeDirVariable
                                                                                      : kDefaultRuntimeDir;
    options.devicesFile = kDefaultDevicesFile;
    options.stateDir = kDefaultStateDir;
    ArgumentReader reader(args);
    while (!reader.done()) {
        const std::string_view name = reader.takeName();
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--virtual") {
            if (reader.hasUnusedValue())
                return failure("--virtual takes no value");
            options.virtuals.emplace_back();
            continue;
        }
        if (name == "--virtual-plug") {
            if (reader.hasUnusedValue())
                return failure("--virtual-plug takes no value");
            options.virtualPlug = true;
            continue;
        }
        std::string_view value;
        const PathOption* path = pathOption(name);
        const bool known = path != nullptr || name == "--log-level" || name == "--product-id" ||
                           name == "--version" || name == "--product" || name == "--serial" ||
                           name == "--descriptor" || name == "--device";
        if (!known)
            return failure("unknown option " + std::string(name));
        if (!reader.takeValue(value))
            return failure(std::string(name) + " needs a value");
        if (path != nullptr) {
            if (value.empty())
                return failure(std::string(name) + " needs " + path->what);
            options.*(path->member) = value;
            continue;
        }
        if (name == "--log-level") {
            if (!parseLogLevel(value, options.logLevel))
                return failure("--log-level must be debug, info, warning or error");
            continue;
        }
        if (name == "--device") {
            if (!value.starts_with("/"))
                return failure("--device needs the absolute path of a hidraw node, not " +
                               std::string(value));
            options.devices.emplace_back(value);
            continue;
        }
        if (options.virtuals.empty())
            return failure(std::string(name) + " must follow --virtual");
        VirtualTrackballOptions& trackball = options.virtuals.back();
        if (name == "--product-id" || name == "--version") {
            uint32_t number = 0;
            if (!parseNumber(value, UINT16_MAX, number))
                return failure(std::string(name) + " needs a number from 0 to 0xFFFF, not " +
                               std::string(value));
            (name == "--product-id" ? trackball.productId : trackball.version) =
                static_cast<uint16_t>(number);
        } else if (name == "--product") {
            trackball.product = value;
        } else if (name == "--serial") {
            trackball.serial = std::string(value);
        } else {
            trackball.descriptor = std::filesystem::path(value);
        }
    }
    return ParsedOptions{std::move(options), {}};
}

const char* usageText() {
    return "usage: obxkernd [--runtime-dir DIR] [--log-level LEVEL] [--devices-conf FILE] [--state-dir DIR]\n"
           "                [--device NODE]... [--hardware-root DIR]\n"
           "                [--virtual [--product-id N] [--version N] [--product TEXT] [--serial TEXT]\n"
           "                           [--descriptor FILE]]... [--virtual-plug]\n"
           "\n"
           "  --runtime-dir DIR   folder of the sockets (else $OBX_RUNTIME_DIR, else /run/obxkern)\n"
           "  --log-level LEVEL   debug, info (default), warning or error\n"
           "  --devices-conf FILE the trackball models to drive (default /etc/obxkern/devices.conf)\n"
           "  --state-dir DIR     where the devices chosen besides them are kept (default /var/lib/obxkern)\n"
           "  --device NODE       drives this hidraw node (/dev/hidrawN) instead of the models' devices\n"
           "  --hardware-root DIR for tests: hidraw devices are this folder's stand-ins, not the system's\n"
           "  --virtual           adds a virtual trackball; the options below apply to the last one\n"
           "  --product-id N      product id (default 0x0001); numbers are decimal or 0x-hexadecimal\n"
           "  --version N         version number (default 0x0100)\n"
           "  --product TEXT      product string (default \"Virtual Trackball\")\n"
           "  --serial TEXT       serial number string (default VIRTUAL-NN)\n"
           "  --descriptor FILE   binary report descriptor instead of the built-in layout\n"
           "  --virtual-plug      virtual trackballs plugged and unplugged at run time (socket "
           "virtual-plug)\n";
}

} // namespace obx::kernd
