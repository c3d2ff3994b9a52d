#include "GuestCorpus.h"

#include "GuestSupport.h"
#include "driver/hid/HidDescriptorParser.h"
#include "driver/hid/HidPreparsedData.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

namespace obx::guest {

namespace {

using hid::HidPreparsedData;
using hid::InputField;

struct CorpusEntry {
    std::string name;
    std::vector<uint8_t> descriptor;
    std::set<std::string> differs;
    bool refused = false;
    uint16_t bus = BUS_USB; // as the kernel's HID_ID gives it, in hexadecimal
};

std::optional<CorpusEntry> readEntry(const std::filesystem::path& file) {
    std::ifstream in(file);
    CorpusEntry entry;
    entry.name = "Corpus " + file.stem().string();
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "descriptor") {
            for (std::string byte; words >> byte;)
                entry.descriptor.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
        } else if (keyword == "differs") {
            for (std::string what; words >> what;)
                entry.differs.insert(what);
        } else if (keyword == "refused") {
            entry.refused = true;
        } else if (keyword == "bus") {
            std::string bus;
            words >> bus;
            entry.bus = static_cast<uint16_t>(std::stoul(bus, nullptr, 16));
        }
    }
    if (entry.descriptor.empty())
        return std::nullopt;
    return entry;
}

// What a report changes: the buttons held (on the Button page) and relative values of other usages.
struct Usage {
    uint16_t page;
    uint16_t usage;
    bool operator<(const Usage& o) const { return page != o.page ? page < o.page : usage < o.usage; }
};

constexpr uint16_t kButtons = hid::kPageButton;
constexpr Usage kX{hid::kPageGenericDesktop, hid::kUsageX};
constexpr Usage kY{hid::kPageGenericDesktop, hid::kUsageY};
constexpr Usage kWheel{hid::kPageGenericDesktop, hid::kUsageWheel};
constexpr Usage kPan{hid::kPageConsumer, hid::kUsageAcPan};

// Writes reports of one descriptor: finds where each usage lives and sets its bits.
class ReportWriter {
public:
    explicit ReportWriter(const std::vector<uint8_t>& descriptor)
        : parsed_(std::make_unique<HidPreparsedData>()) {
        parsedOk_ = hid::HidDescriptorParser::parse(descriptor, *parsed_) == hid::HidStatus::Success;
    }
    bool parsed() const { return parsedOk_; }

    // The report id of the first field that holds the usage, as a variable or (buttons) in an array.
    std::optional<uint8_t> reportOf(Usage u) const {
        for (const InputField& f : parsed_->inputFields()) {
            if (slotOf(f, u))
                return f.reportId;
        }
        return std::nullopt;
    }
    bool has(Usage u) const { return reportOf(u).has_value(); }

    // A value below the field's logical minimum that its bits can still hold, when there is one.
    std::optional<int32_t> belowRange(Usage u) const {
        for (const InputField& f : parsed_->inputFields()) {
            if (!f.isArray && slotOf(f, u) && f.bitSize < 32 && f.logicalMin < 0 &&
                f.logicalMin > -(int64_t{1} << (f.bitSize - 1)))
                return f.logicalMin - 1;
        }
        return std::nullopt;
    }

    // A bit of a button field past its declared usages (Usage Maximum below Report Count), which the
    // kernel reads as the last declared button again: where it sits in the report of its id.
    struct Bit {
        uint8_t reportId;
        uint32_t offset;
    };
    std::vector<Bit> undeclaredButtonBits() const {
        std::vector<Bit> bits;
        for (const InputField& f : parsed_->inputFields()) {
            uint16_t page = 0, usage = 0, previous = 0;
            for (uint32_t e = 0; !f.isArray && f.bitSize == 1 && e < f.count && e < 32; ++e) {
                if (!parsed_->elementUsage(f, e, page, usage) || page != kButtons)
                    break;
                if (e > 0 && usage == previous)
                    bits.push_back({f.reportId, f.bitOffset + e});
                previous = usage;
            }
        }
        return bits;
    }

    // The report of this id with this bit set and nothing else.
    std::vector<uint8_t> reportWith(const Bit& bit) const {
        std::vector<uint8_t> bytes = report(bit.reportId, {}, {});
        const uint32_t at = bit.offset + (parsed_->usesReportIds() ? 8 : 0);
        bytes[at / 8] |= uint8_t(1u << (at % 8));
        return bytes;
    }

    // The report of this id with these buttons held and these values.
    std::vector<uint8_t> report(uint8_t id, const std::set<uint16_t>& held,
                                const std::map<Usage, int32_t>& values) const {
        std::vector<uint8_t> bytes((parsed_->inputReportBits(id) + 7) / 8, 0);
        for (const InputField& f : parsed_->inputFields()) {
            if (f.reportId != id)
                continue;
            uint32_t nextSlot = 0;
            for (uint16_t button : held) {
                if (const auto slot = slotOf(f, {kButtons, button}))
                    f.isArray ? put(bytes, f, nextSlot++, *slot + f.logicalMin) : put(bytes, f, *slot, 1);
            }
            for (const auto& [usage, value] : values) {
                if (const auto slot = slotOf(f, usage); slot && !f.isArray)
                    put(bytes, f, *slot, value);
            }
        }
        if (parsed_->usesReportIds())
            bytes.insert(bytes.begin(), id);
        return bytes;
    }

private:
    // The element of a variable field, or the index in an array's usage list, that stands for the usage.
    std::optional<uint32_t> slotOf(const InputField& f, Usage u) const {
        const uint32_t elements = f.isArray ? uint32_t(f.logicalMax - f.logicalMin + 1) : f.count;
        for (uint32_t e = 0; e < elements && e < 4096; ++e) {
            uint16_t page = 0, usage = 0;
            if (parsed_->elementUsage(f, e, page, usage) && page == u.page && usage == u.usage)
                return e;
        }
        return std::nullopt;
    }

    static void put(std::vector<uint8_t>& bytes, const InputField& f, uint32_t element, int64_t value) {
        if (f.isArray && element >= f.count)
            return;
        const uint32_t first = f.bitOffset + element * f.bitSize;
        for (uint32_t bit = 0; bit < f.bitSize; ++bit) {
            const uint32_t at = first + bit;
            if ((value >> bit) & 1)
                bytes[at / 8] |= uint8_t(1u << (at % 8));
        }
    }

    std::unique_ptr<HidPreparsedData> parsed_;
    bool parsedOk_ = false;
};

// The same presses, moves and turns for every device, as far as its descriptor has them: motion, an
// axis out of range, buttons one by one, the bits of button fields past their declared usages one by
// one, two buttons in one report, a report of another id while a button is
// held, the wheel back and forth, the pan both ways.
std::vector<std::vector<uint8_t>> script(const ReportWriter& w) {
    std::vector<std::vector<uint8_t>> reports;
    std::set<uint16_t> held;
    auto send = [&](const std::set<uint16_t>& next, const std::map<Usage, int32_t>& values) {
        std::set<uint8_t> ids;
        for (uint16_t b = 1; b <= 8; ++b) {
            if (next.count(b) != held.count(b))
                ids.insert(*w.reportOf({kButtons, b}));
        }
        for (const auto& [usage, value] : values)
            ids.insert(*w.reportOf(usage));
        held = next;
        for (uint8_t id : ids)
            reports.push_back(w.report(id, held, values));
    };
    const bool pointer = w.has(kX) && w.has(kY);
    if (pointer) {
        send(held, {{kX, 5}, {kY, -3}});
        if (const auto below = w.belowRange(kX))
            send(held, {{kX, *below}, {kY, 2}});
    }
    std::vector<uint16_t> buttons;
    for (uint16_t b = 1; b <= 5; ++b) {
        if (w.has({kButtons, b}))
            buttons.push_back(b);
    }
    for (uint16_t b : buttons) {
        send({b}, {});
        send({}, {});
    }
    for (const auto& bit : w.undeclaredButtonBits()) {
        reports.push_back(w.reportWith(bit));
        reports.push_back(w.report(bit.reportId, {}, {}));
    }
    if (buttons.size() >= 2) {
        const uint16_t a = buttons[0], b = buttons[1];
        send({a}, {});
        send({a, b}, {});
        send({b}, {});
        send({}, {});
        send({a, b}, {}); // both in one report
        send({}, {});
    }
    if (!buttons.empty()) {
        // A report of another id that carries buttons, while the first is held.
        const uint8_t own = *w.reportOf({kButtons, buttons[0]});
        for (uint16_t b = 1; b <= 16; ++b) {
            const auto other = w.reportOf({kButtons, b});
            if (other && *other != own) {
                send({buttons[0]}, {});
                reports.push_back(w.report(*other, {}, {}));
                send({}, {});
                break;
            }
        }
    }
    if (w.has(kWheel)) {
        for (int v : {1, 1, -1, -1, 3})
            send(held, {{kWheel, v}});
    }
    if (w.has(kPan)) {
        for (int v : {1, 0, 1, 0, -1, 0})
            send(held, {{kPan, v}});
    }
    return reports;
}

// What the events show, per quantity: the order of each button's changes, the sum of each axis.
using Tally = std::map<std::string, std::string>;

void count(Tally& tally, const std::vector<input_event>& events) {
    static const std::map<uint16_t, const char*> kButtonNames = {{BTN_LEFT, "left"},
                                                                 {BTN_RIGHT, "right"},
                                                                 {BTN_MIDDLE, "middle"},
                                                                 {BTN_SIDE, "side"},
                                                                 {BTN_EXTRA, "extra"}};
    static const std::map<uint16_t, const char*> kAxisNames = {
        {REL_X, "x"},         {REL_Y, "y"},
        {REL_WHEEL, "wheel"}, {REL_WHEEL_HI_RES, "wheel-hi-res"},
        {REL_HWHEEL, "pan"},  {REL_HWHEEL_HI_RES, "pan-hi-res"}};
    for (const input_event& e : events) {
        if (e.type == EV_KEY && kButtonNames.count(e.code))
            tally[kButtonNames.at(e.code)] += std::to_string(e.value);
        if (e.type == EV_REL && kAxisNames.count(e.code)) {
            std::string& sum = tally[kAxisNames.at(e.code)];
            sum = std::to_string((sum.empty() ? 0 : std::stol(sum)) + e.value);
        }
    }
}

std::string describe(const Tally& tally) {
    std::string text;
    for (const auto& [what, value] : tally)
        text += what + "=" + value + " ";
    return text.empty() ? "(nothing)" : text;
}

// The hidraw node of the UHID device of this name, once the kernel has bound it.
std::optional<std::filesystem::path> hidrawNamed(const std::string& name) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", error)) {
        std::ifstream uevent(entry.path() / "device" / "uevent");
        for (std::string line; std::getline(uevent, line);) {
            if (line == "HID_NAME=" + name)
                return entry.path();
        }
    }
    return std::nullopt;
}

std::vector<std::string> eventNodesOf(const std::filesystem::path& hidraw) {
    std::vector<std::string> nodes;
    std::error_code error;
    for (const auto& input : std::filesystem::directory_iterator(hidraw / "device" / "input", error)) {
        for (const auto& event : std::filesystem::directory_iterator(input.path(), error)) {
            if (event.path().filename().string().starts_with("event"))
                nodes.push_back("/dev/input/" + event.path().filename().string());
        }
    }
    return nodes;
}

// Through hid-generic: the reports reach the evdev nodes within the write.
std::optional<Tally> kernelTally(const CorpusEntry& entry, const std::vector<std::vector<uint8_t>>& reports,
                                 uint16_t vendor, uint16_t product) {
    Uhid uhid;
    if (!uhid.create(entry.name, vendor, product, entry.descriptor, entry.bus))
        return std::nullopt;
    std::optional<std::filesystem::path> hidraw;
    waitUntil([&] { return (hidraw = hidrawNamed(entry.name)).has_value(); }, 5s);
    std::vector<std::unique_ptr<EvdevReader>> readers;
    if (hidraw) {
        // Every evdev node of the device (one per application collection) exists once hidraw does.
        for (const std::string& node : eventNodesOf(*hidraw)) {
            waitUntil([&] { return std::filesystem::exists(node); }, 5s);
            readers.push_back(std::make_unique<EvdevReader>(node));
        }
    }
    Tally tally;
    for (const auto& report : reports) {
        uhid.report(report);
        for (const auto& reader : readers)
            count(tally, reader->available());
    }
    uhid.destroy();
    waitUntil([&] { return !hidrawNamed(entry.name).has_value(); }, 5s);
    if (readers.empty())
        return std::nullopt;
    return tally;
}

size_t controlSockets(const std::filesystem::path& runtime) {
    size_t n = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(runtime, error))
        n += entry.path().filename().string().starts_with("control-") ? 1 : 0;
    return n;
}

// Through obxkernd: its uinput mouse, named after the device. None when the daemon makes no control
// socket for it (a device it refuses may have had a mouse for a moment, until its start failed).
std::optional<Tally> daemonTally(const CorpusEntry& entry, const std::vector<std::vector<uint8_t>>& reports,
                                 uint16_t vendor, uint16_t product, const std::filesystem::path& runtime) {
    const size_t before = controlSockets(runtime);
    Uhid uhid;
    if (!uhid.create(entry.name, vendor, product, entry.descriptor, entry.bus))
        return std::nullopt;
    std::optional<std::string> node;
    const bool served =
        waitUntil([&] { return controlSockets(runtime) > before; }, entry.refused ? 3s : 20s) &&
        waitUntil([&] { return (node = eventNodeNamed(entry.name, true)).has_value(); });
    std::optional<Tally> tally;
    if (served) {
        EvdevReader mouse(*node);
        tally.emplace();
        for (const auto& report : reports) {
            uhid.report(report);
            do
                count(*tally, mouse.available());
            while (!mouse.quietFor(20ms));
        }
        while (!mouse.quietFor(300ms))
            count(*tally, mouse.available());
    }
    uhid.destroy();
    waitUntil([&] { return controlSockets(runtime) == before; }, 10s);
    return tally;
}

void compare(const CorpusEntry& entry, uint16_t vendor, uint16_t servedProduct, uint16_t ownProduct,
             const std::filesystem::path& runtime) {
    const ReportWriter writer(entry.descriptor);
    const auto reports = writer.parsed() ? script(writer) : std::vector<std::vector<uint8_t>>{};
    const auto kernel = kernelTally(entry, reports, vendor, ownProduct);
    const auto daemon = daemonTally(entry, reports, vendor, servedProduct, runtime);
    const std::string what = entry.name;
    if (entry.refused) {
        check(!daemon, (what + ": obxkernd refuses it: no control socket").c_str());
        return;
    }
    if (!kernel || !daemon) {
        check(false, (what + ": served by both").c_str(),
              std::string(kernel ? "" : "the kernel made no input node; ") +
                  (daemon ? "" : "obxkernd made no mouse"));
        return;
    }
    std::set<std::string> differing;
    for (const Tally* t : {&*kernel, &*daemon}) {
        for (const auto& [quantity, value] : *t) {
            const auto k = kernel->find(quantity);
            const auto d = daemon->find(quantity);
            const std::string kv = k == kernel->end() ? "0" : k->second;
            const std::string dv = d == daemon->end() ? "0" : d->second;
            if (kv != dv)
                differing.insert(quantity);
        }
    }
    std::string listed;
    for (const std::string& q : differing)
        listed += q + " ";
    check(differing == entry.differs, (what + ": obxkernd gives what hid-generic gives").c_str(),
          (differing.empty() ? std::string("same") : "differs in " + listed) + " | kernel " +
              describe(*kernel) + "| obxkernd " + describe(*daemon) + "| " + std::to_string(reports.size()) +
              " reports");
}

} // namespace

void runCorpus(const std::string& folder, const std::string& runtime, uint16_t vendor, uint16_t servedProduct,
               uint16_t ownProduct) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".hid")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    check(!files.empty(), "the corpus is there", folder);
    for (const auto& file : files) {
        std::printf("obx-guest: corpus %s\n", file.filename().c_str());
        std::fflush(stdout);
        if (const auto entry = readEntry(file))
            compare(*entry, vendor, servedProduct, ownProduct, runtime);
        else
            check(false, "a corpus file has a descriptor", file.string());
    }
}

} // namespace obx::guest
