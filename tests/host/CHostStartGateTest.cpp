#include "host/CHostStartGate.h"
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

namespace {

using Decision = CHostStartGate::Decision;

// A start under way holds back only the same instance name, compared ignoring case, and only
// until the host is found or the start-up wait has passed, whoever sent it; a search whose
// name changed since it bound looks again first; one that could not be sent holds back
// nobody. Each row uses names of its own.
TEST(CHostStartGateTest, OneStartPerInstanceNameWithinTheStartupWait) {
    struct Row {
        const wchar_t* other;
        Decision decision;
    };
    const Row rows[] = {
        {L"QELDVecta17Instance:Demo", Decision::Wait},
        {L"qeldvecta17instance:DEMO", Decision::Wait},
        {L"QELDVecta16Instance:Demo", Decision::Start},
        {L"QELDVecta17Instance:Demo2", Decision::Start},
    };
    int n = 0;
    for (const Row& row : rows) {
        const std::wstring suffix = L"-" + std::to_wstring(++n);
        const std::wstring held = L"QELDVecta17Instance:Demo" + suffix, other = row.other + suffix;
        SCOPED_TRACE(std::string(other.begin(), other.end()));
        const unsigned long seen = CHostStartGate::Seen(held);
        const unsigned long otherSeen = CHostStartGate::Seen(other);
        ULONGLONG ago = 0;
        ASSERT_EQ(CHostStartGate::TryStart(held, seen, 60000, ago), Decision::Start);
        EXPECT_EQ(CHostStartGate::TryStart(other, otherSeen, 60000, ago), row.decision);
        // A start older than the wait holds back nothing, gone or not its search; the new one does.
        Sleep(30);
        EXPECT_EQ(CHostStartGate::TryStart(held, seen + 1, 10, ago), Decision::Start);
        EXPECT_EQ(CHostStartGate::TryStart(held, seen + 2, 20, ago), Decision::Wait);
        EXPECT_LT(ago, 20u);
        // Found: nothing under way, and the one search that found it prepares the host; a
        // search that bound before looks again.
        EXPECT_TRUE(CHostStartGate::Found(held));
        EXPECT_FALSE(CHostStartGate::Found(held));
        EXPECT_EQ(CHostStartGate::TryStart(held, seen + 2, 60000, ago), Decision::LookAgain);
        EXPECT_EQ(CHostStartGate::TryStart(held, CHostStartGate::Seen(held), 60000, ago), Decision::Start);
        CHostStartGate::NotSent(held);
        EXPECT_EQ(CHostStartGate::TryStart(held, CHostStartGate::Seen(held), 60000, ago), Decision::Start);
    }
}

}  // namespace
