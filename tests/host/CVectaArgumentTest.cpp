#include "host/CVectaArgument.h"
#include <gtest/gtest.h>
#include <oleauto.h>

namespace {

TEST(CVectaArgument, FormsCarryTheTypeAndValueVectaExpects) {
    struct Row {
        const char* name;
        VARIANT value;
        VARTYPE type;
        LONG number;  // V_I4 or V_ERROR, as the type says
    };
    const Row rows[] = {{"missing", CVectaArgument::Missing(), VT_ERROR, static_cast<LONG>(DISP_E_PARAMNOTFOUND)},
                        {"first index", CVectaArgument::Index(0), VT_I4, 0},
                        {"read-only flag", CVectaArgument::Index(1), VT_I4, 1},
                        {"last index", CVectaArgument::Index(0x7FFFFFFF), VT_I4, 0x7FFFFFFF}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(V_VT(&row.value), row.type);
        EXPECT_EQ(row.type == VT_ERROR ? static_cast<LONG>(V_ERROR(&row.value)) : V_I4(&row.value), row.number);
    }
    const VARIANT empty = CVectaArgument::Empty();
    EXPECT_EQ(V_VT(&empty), VT_EMPTY);
}

TEST(CVectaArgument, OnlyTheParamNotFoundErrorCountsAsMissing) {
    VARIANT otherError = CVectaArgument::Missing();
    V_ERROR(&otherError) = E_FAIL;
    struct Row {
        const char* name;
        VARIANT value;
        bool missing;
    };
    const Row rows[] = {{"missing", CVectaArgument::Missing(), true},
                        {"empty", CVectaArgument::Empty(), false},
                        {"zero index", CVectaArgument::Index(0), false},
                        {"other error", otherError, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CVectaArgument::IsMissing(row.value), row.missing);
    }
}

// Automation treats the missing form as an omitted optional argument: copying keeps it intact
// and an index converts the way the host's collections read it.
TEST(CVectaArgument, SurvivesAutomationCopiesAndConversions) {
    VARIANT source = CVectaArgument::Missing();
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_TRUE(CVectaArgument::IsMissing(copy));
    EXPECT_EQ(VariantClear(&copy), S_OK);

    VARIANT index = CVectaArgument::Index(3);
    VARIANT asText;
    VariantInit(&asText);
    ASSERT_EQ(VariantChangeType(&asText, &index, 0, VT_BSTR), S_OK);
    EXPECT_STREQ(V_BSTR(&asText), L"3");
    VariantClear(&asText);

    EXPECT_EQ(CVectaArgument::Flag(true), VARIANT_TRUE);
    EXPECT_EQ(CVectaArgument::Flag(false), VARIANT_FALSE);
    EXPECT_EQ(static_cast<short>(CVectaArgument::Flag(true)), -1);
}

}  // namespace
