#pragma once
#include <windows.h>
#include <string>

// The host starts of this process, per moniker display name (class and profile, compared
// ignoring case as the moniker compares them). A start counts as under way from the moment
// its command was sent until a search finds the host or the start-up wait has passed,
// whatever became of the search that sent it: meanwhile no search of the process sends
// another one for the name, so two searches never start two hosts for one profile. A start
// the client could not send is not under way. Nothing is held by a search, so nothing waits
// for a search that is gone.
class CHostStartGate {
public:
    enum class Decision {
        Start,      // send the start command: recorded as under way from now
        Wait,       // another start of the name is under way
        LookAgain,  // the name's starts changed since the search last bound: bind first
    };

    // Taken before a search binds: what it knows of the name's starts.
    static unsigned long Seen(const std::wstring& displayName);
    // For a search that did not find the host: whether it sends the start command now. With
    // Wait, sentAgo is how long ago the start under way was sent.
    static Decision TryStart(const std::wstring& displayName, unsigned long seen, DWORD startupWait,
                             ULONGLONG& sentAgo);
    // The start this search was told to send could not be sent: none is under way.
    static void NotSent(const std::wstring& displayName);
    // The host has been found: no start of the name is under way any more. True for the one
    // search that found the host while a start was under way: it prepares the new host.
    static bool Found(const std::wstring& displayName);
};
