// Random commands with random arguments, every command, quiet and interactive, against one
// running VectaSim: the process's handles after a warm-up against the end. Message boxes are
// answered at once (nobody can click them); the template dialog is the system's own. A drawing
// the program keeps open holds QELDQUIT off, so that the host lives through the run: a host
// that ends leaves Wine's connections to it behind, which is the soak's measure, not this one.
//
//   bench_fuzz.exe <commands>
#include "BenchClock.h"
#include "component/CCAI_Call.h"
#include "fakes/ArgumentArray.h"
#include "fakes/CSimProcess.h"
#include "fakes/FakeCallback.h"
#include "fakes/HandleCensus.h"
#include "fakes/TempFolder.h"
#include "host/CVectaArgument.h"
#include "support/CUtils.h"
#include "support/UniqueBstr.h"
#include "support/UniqueVariant.h"
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

int AnswerNo(const std::wstring&, const std::wstring&, UINT) { return IDNO; }

int Fuzz(long commands) {
    if (FAILED(CSimProcess::RegisterAll())) {
        std::fprintf(stderr, "registration failed\n");
        return 1;
    }
    TempFolder folder;
    const std::wstring profile = L"Fuzz-" + std::to_wstring(GetCurrentProcessId());
    std::vector<std::wstring> drawings;
    for (int i = 0; i < 4; ++i) {
        drawings.push_back(folder.File(L"fuzz" + std::to_wstring(i) + L".vdr"));
        TempFolder::WriteBytes(drawings.back(), "VECTA DRAWING 1\nKEY=Q-" + std::to_string(i) + "\n");
    }
    CSimProcess sim;
    ComPtr<IVectaDocuments> documents;
    ComPtr<IVectaDocument> kept;
    if (FAILED(sim.Start(profile, L"R17", L"/idle 600")) || FAILED(sim.App()->get_Documents(documents.put())) ||
        FAILED(documents->Open(UniqueBstr(drawings[3]).get(), CVectaArgument::Index(0), CVectaArgument::Index(0),
                               kept.put()))) {
        std::fprintf(stderr, "VectaSim did not start with its drawing\n");
        return 1;
    }
    CUtils::SetMessageBoxFunction(AnswerNo);
    ComPtr<FakeCallback> client;
    client.attach(FakeCallback::Create());
    client->AnswerForHostSession(profile, L"-1");
    client->answers[L"#(Appl:ApplicationName)"] = L"Vecta";
    client->answers[L"$(JobServerRunning:-0)"] = L"0";  // interactive until a command says otherwise
    client->environment[L"WSPATH"] = folder.Path();
    ComPtr<ICAI_Call> object;
    if (FAILED(CCAI_Call::Create(nullptr, IID_ICAI_Call, object.put_void()))) return 1;
    CCAI_Call::FromInterface(object.get())->SetOpenTimeLimit(2000);

    static const wchar_t* const kNames[] = {
        L"QELDOPEN", L"QELDOPENREADONLY", L"QELDNEW", L"QELDRESTORE", L"COMMAND", L"QELDUPDATETITLEBLOCKS",
        L"QELDPUBLISHPSX", L"QELDISAVAILABLEFORPUBLISHPSX", L"QELDCHANGEQELKEY", L"QELDCHECKAPPLICATION",
        L"QELDQUIT", L"QELDSETLOGLEVEL", L"QELDSETSILENTMODE", L"QELDIMPORTTITLEATTRIBUTES", L"qeldopen", L"FROBNICATE"};
    const std::wstring kArguments[] = {drawings[0], drawings[1], drawings[2], folder.File(L"missing.vdr"),
                                       L"", L"relative.vdr", std::wstring(L"a\0b.vdr", 7), std::wstring(300, L'x'),
                                       L"Q-1", L"Q 1", L"TRUE", L"FALSE", L"-1", L"0", L"REGEN", L"\u00e4\u20ac"};
    std::mt19937 random(11);
    const long warmUp = commands / 10;
    HandleCensus::Counts afterWarmUp;
    long notI4 = 0;
    const double begin = BenchClock::Now();
    for (long i = 0; i < commands; ++i) {
        if (i == warmUp) afterWarmUp = HandleCensus::Take();
        const wchar_t* name = kNames[random() % std::size(kNames)];
        const std::wstring& first = kArguments[random() % std::size(kArguments)];
        const std::wstring& second = kArguments[random() % std::size(kArguments)];
        UniqueVariant args = ArgumentArray({name, first, second, L""});
        UniqueVariant out;
        (void)object->Run(client.get(), args.get(), out.put());
        if (V_VT(&out.get()) != VT_I4) ++notI4;
        client->records.clear();
        if (sim.ExitCode() != STILL_ACTIVE) {
            std::printf("VectaSim ended after command %ld (%ls)\n", i, name);
            return 1;
        }
    }
    const HandleCensus::Counts atEnd = HandleCensus::Take();
    std::printf("%ld commands in %.0f s, %ld results not VT_I4; handles from command %ld to the end:", commands,
                BenchClock::Now() - begin, notI4, warmUp);
    for (const auto& [type, count] : HandleCensus::Growth(afterWarmUp, atEnd))
        std::printf(" %ls %+ld", type.c_str(), count);
    std::printf(" | total %+ld\n", HandleCensus::Total(atEnd) - HandleCensus::Total(afterWarmUp));
    object.reset();
    kept.reset();
    documents.reset();
    CUtils::SetMessageBoxFunction(nullptr);
    return notI4 == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const long commands = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5000;
    return BenchClock::RunInApartment([&] { return Fuzz(commands); });
}
