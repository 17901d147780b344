#include "ClientParts.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include <gtest/gtest.h>

ClientParts::~ClientParts() { ReleaseCallback(); }

void ClientParts::LoadSample(const TempFolder& root, const std::wstring& file, bool write) {
    CreateSampleFolders(root);
    const std::string json = SampleWorkspaceJson(root);
    std::wstring error;
    if (write) {
        Put(root, file, json);
        ASSERT_TRUE(workspace.Load(root.File(file), error)) << TextCodec::ToUtf8(error);
    } else {
        ASSERT_TRUE(workspace.LoadText(json, root.File(file), error)) << TextCodec::ToUtf8(error);
    }
}

void ClientParts::LoadJson(const std::string& json, const std::wstring& path) {
    std::wstring error;
    ASSERT_TRUE(workspace.LoadText(json, path, error)) << TextCodec::ToUtf8(error);
}

void ClientParts::CreateCallback() {
    ASSERT_EQ(CCallback::Create(workspace, evaluator, commands, user, false, callback), S_OK);
}

void ClientParts::ReleaseCallback() {
    if (!callback) return;
    CCallback::Disconnect(callback.get());
    callback.reset();
}
