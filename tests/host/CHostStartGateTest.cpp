#include "host/CHostStartGate.h"
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr wchar_t kHeld[] = L"QELDVecta17Instance:Demo";

// A start under way blocks only the same instance name, compared ignoring case, and only as
// long as its claim lives; a moved claim still holds it.
TEST(CHostStartGateTest, OneClaimPerInstanceNameWhileItLives) {
    struct Row {
        const wchar_t* other;
        bool claimed;
    };
    const Row rows[] = {
        {L"QELDVecta17Instance:Demo", false},
        {L"qeldvecta17instance:DEMO", false},
        {L"QELDVecta16Instance:Demo", true},
        {L"QELDVecta17Instance:Demo2", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.other, row.other + wcslen(row.other)));
        CHostStartGate::Claim held = CHostStartGate::TryClaim(kHeld);
        ASSERT_TRUE(held);
        CHostStartGate::Claim moved = std::move(held);
        EXPECT_EQ(static_cast<bool>(CHostStartGate::TryClaim(row.other)), row.claimed);
        const unsigned long ended = CHostStartGate::EndedClaims();
        moved = CHostStartGate::Claim();
        EXPECT_EQ(CHostStartGate::EndedClaims(), ended + 1);
        EXPECT_TRUE(CHostStartGate::TryClaim(row.other));
    }
}

}  // namespace
