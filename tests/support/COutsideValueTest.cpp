#include "fakes/ComponentTest.h"
#include "fakes/LogReader.h"
#include "support/COutsideValue.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>

namespace {

using OutsideValueTest = ComponentTest;

// The gate's types and checks in one table: each refusal names the value and the reason, and each
// value a real user has passes unchanged.
TEST_F(OutsideValueTest, EachTypeTakesWhatUsersHaveAndRefusesTheRest) {
    enum Type { Path, Name, Key, Quoted, SingleQuoted, Release, Argument };
    constexpr wchar_t kControl[] = L"it holds a control character";
    constexpr wchar_t kDevice[] = L"it names a device or pipe";
    constexpr wchar_t kRelative[] = L"not an absolute path";
    constexpr wchar_t kStream[] = L"its file name names a drive or stream (\":\")";
    constexpr wchar_t kDots[] = L"its file name is made only of dots and blanks";
    constexpr wchar_t kKey[] = L"a key holds only letters, digits, marks and \"-_./\"";
    constexpr wchar_t kQuote[] = L"it holds a quote";
    constexpr wchar_t kRelease[] = L"a release holds only letters, digits, marks and \"-_.\"";
    const std::wstring longPath = L"C:\\" + std::wstring(252, L'a') + L"\\b.vdr";  // 259 characters
    struct Row {
        Type type;
        std::wstring value;
        const wchar_t* refusal;       // null: the value passes
        const wchar_t* shown = nullptr;  // the value as the entry shows it, when escaped
    } rows[] = {
        {Path, L"C:\\d\\plan.vdr", nullptr},
        {Path, L"c:/d/O'Brien cfg/my ws \u00c4/plan.vdr", nullptr},
        {Path, L"\\\\server\\share", nullptr},
        {Path, L"//server/share/x", nullptr},
        {Path, L"\\\\?\\C:\\d\\x", nullptr},
        {Path, L"\\\\?\\UNC\\srv\\share\\x", nullptr},
        {Path, longPath, nullptr},
        {Path, L"\\\\.\\pipe\\hsecb", kDevice},
        {Path, L"//./pipe/hsecb", kDevice},
        {Path, L"\\\\?\\pipe\\hsecb", kDevice},
        {Path, L"\\\\?\\GLOBALROOT\\Device\\x", kDevice},
        {Path, L"\\??\\C:\\x", kDevice},
        {Path, L"\\\\?\\C:/x", kDevice},
        {Path, L"\\\\\\srv\\x", kRelative},
        {Path, L"\\\\srv\\", kRelative},
        {Path, L"C:x", kRelative},
        {Path, L"\\d\\x", kRelative},
        {Path, L"plan.vdr", kRelative},
        {Path, L"", kRelative},
        {Path, std::wstring(L"C:\\d\\t.vdr\0x", 12), kControl, L"C:\\d\\t.vdr\\u0000x"},
        {Path, L"C:\\d\\a\u009f.vdr", kControl, L"C:\\d\\a\\u009F.vdr"},
        {Name, L"C:\\d\\Plan..A.dwg", nullptr},
        {Name, L"C:\\d\\O'Brien \u00c4.dwg", nullptr},
        {Name, L"C:\\d\\plan.vdr:x", kStream},
        {Name, L"C:plan.vdr", kStream},
        {Name, L"C:\\d\\. .", kDots},
        {Name, L"C:\\d\\a\u0085b", kControl, L"C:\\d\\a\\u0085b"},
        {Key, L"Q-2001.\u00c4-\u03a9_1", nullptr},
        {Key, L"4711", nullptr},
        {Key, L"", nullptr},
        {Key, L"Re\u0301sume\u0301/1", nullptr},
        {Key, L"Q-2001 QELDSHOWTITLE", kKey},
        {Key, L"Q-2001\u200aX", kKey},
        {Key, L"Q-2001\u1680X", kKey},
        {Key, L"Q-2001\u2028X", kKey, L"Q-2001\\u2028X"},
        {Key, L"Q-2001\u202fX", kKey},
        {Key, L"Q-2001\u205fX", kKey},
        {Key, L"Q-2001\u202eX", kKey, L"Q-2001\\u202EX"},
        {Key, L"Q-2001\u200bX", kKey},
        {Key, L"Q\"1", kKey},
        {Key, L"Q'1", kKey},
        {Key, L"Q|1", kKey},
        {Key, L"$(EVIL)", kKey},
        {Key, L"Q\u009f", kKey, L"Q\\u009F"},
        {Key, std::wstring(1, wchar_t(0xD800)), kKey, L"\\uD800"},
        {Quoted, L"C:/ws/my ws \u00c4/", nullptr},
        {Quoted, L"C:/hs/c06/O'Brien cfg/qel.vor", kQuote},
        {Quoted, L"C:/a\" -x \"b", kQuote},
        {Quoted, L"C:/a\r\n", kControl, L"C:/a\\u000D\\u000A"},
        {SingleQuoted, L"/profile \"My Lab\" /release R17", nullptr},
        {SingleQuoted, L"/profile 'x' /y", kQuote},
        {Release, L"R17.1", nullptr},
        {Release, L"R16.4-x", nullptr},
        {Release, L"", nullptr},
        {Release, L"R17\\..\\Classes", kRelease},
        {Release, L"R17/x", kRelease},
        {Argument, L"C:\\w\\O'Brien.vdr", nullptr},
        {Argument, L"", nullptr},
        {Argument, L"\\\\.\\pipe\\hsecb", kDevice},
        {Argument, L"plan.vdr", kRelative},
    };
    CUtils::Instance().SetLogThreshold(2);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.value) + " as type " + std::to_string(row.type));
        LogReader::Remove();
        bool passed = false;
        std::wstring kept;
        const wchar_t* what = L"path";
        switch (row.type) {
        case Path:
            if (auto v = COutsideValue::Path(L"Test", row.value)) passed = true, kept = v->str();
            break;
        case Name:
            if (auto v = COutsideValue::OwnFileName(L"Test", row.value)) passed = true, kept = v->str();
            break;
        case Key:
            what = L"QELKEY";
            if (auto v = COutsideValue::Key(L"Test", row.value)) passed = true, kept = v->str();
            break;
        case Quoted:
            what = L"value";
            if (auto v = COutsideValue::Quoted(L"Test", row.value)) passed = true, kept = v->str();
            break;
        case SingleQuoted:
            what = L"value";
            if (auto v = COutsideValue::Quoted(L"Test", row.value, L"'")) passed = true, kept = v->str();
            break;
        case Release:
            what = L"release";
            if (COutsideValue::AcceptRelease(L"Test", row.value)) passed = true, kept = row.value;
            break;
        case Argument:
            if (COutsideValue::AcceptPath(L"Test", row.value)) passed = true, kept = row.value;
            break;
        }
        EXPECT_EQ(passed, row.refusal == nullptr);
        if (passed) {
            EXPECT_EQ(kept, row.type == Name ? COutsideValue::FileName(row.value) : row.value);
            EXPECT_FALSE(LogReader().exists);
            continue;
        }
        if (!row.refusal) continue;  // reported above
        const std::wstring shown = row.shown ? row.shown : row.value;
        EXPECT_THAT(LogReader().Messages(),
                    testing::ElementsAre(L"Error: Test: Refused " + std::wstring(what) + L" '" + shown + L"': " + row.refusal));
    }
}

}  // namespace
