// Text boxes without a window keep the contract of the window's own.
#include <gtest/gtest.h>

#include "veltrano/command/text_fields.h"
#include "veltrano/testkit/contracts.h"
#include "veltrano/testkit/fakes.h"

namespace veltrano::command {
namespace {

TEST(TextFields, KeepTheFieldsContract) {
    TextFields fields(testkit::first_example_texts());
    EXPECT_EQ(testkit::fields_contract_violations(fields), std::vector<std::string>{});
}

}  // namespace
}  // namespace veltrano::command
