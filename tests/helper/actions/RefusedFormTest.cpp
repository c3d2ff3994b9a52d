#include "RefusedForm.h"

#include "actions/ActionBase.h"
#include "support/ErrorText.h"

namespace obx::test {
namespace {

TEST_P(RefusedForm, IsRefusedWithItsReason) {
    EXPECT_EQ(errorText([&] { createAction(nullptr, GetParam().action); }), GetParam().message);
}

} // namespace
} // namespace obx::test
