#include <gtest/gtest.h>

#include "platform/platform_error.h"

TEST(PlatformError, CarriesOperationAndReason) {
    corvane::PlatformError e("写入文件 “/tmp/a”", "No space left on device");
    EXPECT_EQ(e.operation(), "写入文件 “/tmp/a”");
    EXPECT_EQ(e.reason(), "No space left on device");
    EXPECT_NE(std::string(e.what()).find("No space"), std::string::npos);
}
