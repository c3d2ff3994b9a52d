#pragma once

// The table of input reports and the mouse packets the driver makes of them
// (tests/driver/data/report-packets.txt), which both hosts' tests hold the driver to.

#include "ReportPacketsText.h" // generated: the table's text, kReportPacketsText
#include "driver/core/Framework.h"
#include "hid/TestDescriptors.h"

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace obx::test {

struct ReportCase {
    Bytes report; // in the class driver's form: report id byte first
    std::vector<driver::MouseInputData> packets;
};

struct ModelReports {
    uint16_t productId = 0;
    std::string descriptorName;
    const Bytes* descriptor = nullptr;
    bool usesReportIds = false;
    std::vector<ReportCase> cases;
};

inline std::vector<ModelReports> loadReportPacketTable() {
    struct Named {
        const char* name;
        const Bytes* descriptor;
        bool usesReportIds;
    };
    const Named descriptors[] = {{"five-button", &kFiveButtonTrackball, false},
                                 {"split-button", &kSplitButtonTrackball, false},
                                 {"report-id-mouse", &kReportIdMouse, true}};
    std::vector<ModelReports> models;
    std::istringstream text(kReportPacketsText);
    std::string line;
    while (std::getline(text, line)) {
        std::istringstream fields(line);
        std::string kind;
        if (!(fields >> kind) || kind[0] == '#')
            continue;
        if (kind == "model") {
            ModelReports model;
            fields >> std::hex >> model.productId >> model.descriptorName;
            for (const Named& named : descriptors) {
                if (model.descriptorName == named.name) {
                    model.descriptor = named.descriptor;
                    model.usesReportIds = named.usesReportIds;
                }
            }
            if (model.descriptor == nullptr)
                throw std::runtime_error("report table: unknown descriptor " + model.descriptorName);
            models.push_back(model);
        } else if (kind == "report" && !models.empty()) {
            ReportCase c;
            unsigned byte = 0;
            while (fields >> std::hex >> byte)
                c.report.push_back(static_cast<uint8_t>(byte));
            models.back().cases.push_back(c);
        } else if (kind == "packet" && !models.empty() && !models.back().cases.empty()) {
            driver::MouseInputData packet;
            int buttonData = 0;
            fields >> std::hex >> packet.buttonFlags >> std::dec >> buttonData >> packet.lastX >>
                packet.lastY;
            packet.buttonData = static_cast<int16_t>(buttonData);
            models.back().cases.back().packets.push_back(packet);
        } else {
            throw std::runtime_error("report table: cannot read the line: " + line);
        }
        if (fields.fail() && !fields.eof())
            throw std::runtime_error("report table: cannot read the line: " + line);
    }
    return models;
}

inline bool samePacket(const driver::MouseInputData& a, const driver::MouseInputData& b) {
    return a.unitId == b.unitId && a.flags == b.flags && a.buttonFlags == b.buttonFlags &&
           a.buttonData == b.buttonData && a.rawButtons == b.rawButtons && a.lastX == b.lastX &&
           a.lastY == b.lastY && a.extraInformation == b.extraInformation;
}

inline std::string describe(const std::vector<driver::MouseInputData>& packets) {
    std::ostringstream out;
    for (const driver::MouseInputData& p : packets)
        out << "[flags " << std::hex << p.buttonFlags << std::dec << " data " << p.buttonData << " x "
            << p.lastX << " y " << p.lastY << "] ";
    return out.str();
}

} // namespace obx::test
