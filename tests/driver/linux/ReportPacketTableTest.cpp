// The Linux host's side of the report table: each model's reports through the daemon's trackball (the
// HID source below, the class driver and mouse sink above), held to the packets that the Windows
// binding must make of them too.

#include "shared/ReportPacketTable.h"

#include "driver/linux/EventLoop.h"
#include "driver/linux/Trackball.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace obx::kernd {
namespace {

class TableSource final : public HidSource {
public:
    explicit TableSource(HidIdentity identity) : identity_(std::move(identity)) {}
    const HidIdentity& identity() const override { return identity_; }
    void attach(IReportSink& sink) override { sink_ = &sink; }

    IReportSink* sink_ = nullptr;

private:
    HidIdentity identity_;
};

class RecordingSink final : public MouseSink {
public:
    void deliver(const driver::MouseInputData& packet) override { packets.push_back(packet); }
    std::vector<driver::MouseInputData> packets;
};

class RuntimeDir {
public:
    RuntimeDir() {
        char pattern[] = "/tmp/obx-report-table-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~RuntimeDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(ReportPacketTable, TheDaemonsTrackballMakesTheTablesPackets) {
    const std::vector<test::ModelReports> models = test::loadReportPacketTable();
    ASSERT_EQ(models.size(), 3u);
    for (const test::ModelReports& model : models) {
        SCOPED_TRACE(model.descriptorName);
        EventLoop loop;
        RuntimeDir runtime;
        auto source = std::make_unique<TableSource>(
            HidIdentity{model.productId, 0x0100, *model.descriptor, u"Ombrix trackball", u"SN-0042"});
        auto sink = std::make_unique<RecordingSink>();
        TableSource& below = *source;
        RecordingSink& above = *sink;
        Trackball trackball(loop, 1, std::move(source), std::move(sink), runtime.path(), openAccess());
        ASSERT_NE(below.sink_, nullptr);
        for (const test::ReportCase& c : model.cases) {
            // The device sends a report id byte only when it uses report ids.
            const std::span<const uint8_t> sent =
                model.usesReportIds ? std::span(c.report) : std::span(c.report).subspan(1);
            below.sink_->onReport(sent);
            SCOPED_TRACE(::testing::PrintToString(c.report));
            ASSERT_EQ(above.packets.size(), c.packets.size()) << test::describe(above.packets);
            for (size_t i = 0; i < c.packets.size(); ++i)
                EXPECT_TRUE(test::samePacket(above.packets[i], c.packets[i]))
                    << "got " << test::describe(above.packets) << "expected " << test::describe(c.packets);
            above.packets.clear();
        }
    }
}

} // namespace
} // namespace obx::kernd
