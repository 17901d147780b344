#include "client/CAICallbackHandler.h"
#include "fakes/ComponentTest.h"
#include "fakes/FakeCallback.h"
#include "fakes/WaitLimit.h"
#include "support/ComPtr.h"
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace {

class ThreadCallbackScopeTest : public ComponentTest {};

// A worker thread never reaches the Run thread's callback: it uses its own copy or none.
TEST_F(ThreadCallbackScopeTest, WorkerThreadCallsOnlyItsOwnCopy) {
    ComPtr<FakeCallback> runThread, workerCopy;
    runThread.attach(FakeCallback::Create());
    workerCopy.attach(FakeCallback::Create());
    runThread->answers[L"#(X)"] = L"run";
    workerCopy->answers[L"#(X)"] = L"worker";
    CAICallbackHandler handler;
    ASSERT_EQ(handler.SetCallback(runThread.get()), S_OK);

    struct Row {
        const char* name;
        FakeCallback* installed;
        std::optional<std::wstring> expected;
    } rows[] = {{"own copy", workerCopy.get(), std::wstring(L"worker")}, {"no copy", nullptr, std::nullopt}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        runThread->records.clear();
        std::optional<std::wstring> answer;
        std::thread worker([&] {
            CAICallbackHandler::ThreadCallbackScope scope(row.installed);
            answer = handler.Prepare(L"#(X)");
        });
        JoinWithin(worker, "the worker thread's Prepare");
        EXPECT_EQ(answer, row.expected);
        EXPECT_TRUE(runThread->records.empty());
    }
    // The Run thread itself is unaffected, before and after.
    EXPECT_EQ(handler.Prepare(L"#(X)"), std::optional<std::wstring>(L"run"));
}

}  // namespace
