#pragma once
#include <string>

// The host starts under way in this process, one per moniker display name (class and
// profile, compared ignoring case as the moniker compares them). A search sends the start
// command only while it holds the name's claim, so that two searches of one process never
// start two hosts for one profile; the other one goes on with its passes meanwhile.
class CHostStartGate {
public:
    // One search's claim on a name; released when the search ends, however it ends.
    class Claim {
    public:
        Claim() noexcept = default;
        Claim(Claim&& other) noexcept : m_name(std::move(other.m_name)) { other.m_name.clear(); }
        Claim& operator=(Claim&& other) noexcept;
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        ~Claim() { Release(); }
        explicit operator bool() const noexcept { return !m_name.empty(); }

    private:
        friend class CHostStartGate;
        void Release() noexcept;
        std::wstring m_name;  // empty when nothing is held
    };

    // The claim on the name when no other search of the process holds it; empty otherwise.
    static Claim TryClaim(const std::wstring& displayName);
    // Counts the claims that have ended: a search that claims after one ended since its last
    // bind looks for the host again before it starts one.
    static unsigned long EndedClaims() noexcept;
};
