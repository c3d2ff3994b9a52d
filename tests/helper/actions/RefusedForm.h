#pragma once

// The tables of action forms that a kind reads strictly: each row a form and
// the message it is refused with. A kind's test instantiates RefusedForm with
// its rows; the case itself is in RefusedFormTest.cpp.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

namespace obx::test {

struct FormRefusal {
    const char* what;
    nlohmann::json action;
    const char* message;
};

inline void PrintTo(const FormRefusal& refusal, std::ostream* out) {
    *out << refusal.what;
}

inline std::string refusalName(const ::testing::TestParamInfo<FormRefusal>& info) {
    return info.param.what;
}

class RefusedForm : public ::testing::TestWithParam<FormRefusal> {};

} // namespace obx::test
