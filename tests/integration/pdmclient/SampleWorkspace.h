#pragma once
#include "fakes/TempFolder.h"
#include <functional>
#include <string>

// A small database shared by the in-process tests: the drawing list 1001 refers to 1002
// (old key 0815), 1003 (old key 0816) and 1004 (old key cleared to a blank).
// Folder layout: <root>\a holds qel.vor, <root>\b holds qel.vor and vantor.mns, <root>\ws is
// the workspace folder (WSPATH).
std::string SampleWorkspaceJson(const TempFolder& root, bool jobServer = false);
void CreateSampleFolders(const TempFolder& root);
std::string JsonPath(const std::wstring& windowsPath);

// Files of a test folder by relative name.
void Put(const TempFolder& folder, const std::wstring& name, const std::string& bytes);
std::string Get(const TempFolder& folder, const std::wstring& name);
bool Exists(const TempFolder& folder, const std::wstring& name);
// Calls visit with the path, relative to the folder, of every file and folder below it; a
// folder comes before what it holds.
void VisitFolder(const std::wstring& folder, const std::function<void(const std::wstring&, bool isFolder)>& visit);
// Copies a folder with everything below it.
void CopyFolder(const std::wstring& from, const std::wstring& to);
// Removes a folder with everything below it.
void RemoveFolder(const std::wstring& folder);
