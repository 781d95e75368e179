#include "confine.h"

#include "confine_policy.h"
#include "win_text.h"

#include <utility>
#include <vector>

namespace lexivane::confine {

using common::Error;
using common::Expected;

namespace {

struct Token {
    HANDLE h = nullptr;
    Token() = default;
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    ~Token() {
        if (h) CloseHandle(h);
    }
};

std::string systemMessage(DWORD error) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.'))
        s.pop_back();
    return s.empty() ? "error " + std::to_string(error) : s;
}

// The token with no privileges and the administrators' group only to deny: what a process
// started with it cannot do, nothing it calls later can give back.
bool restrict(HANDLE own, HANDLE* out) {
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    SID_AND_ATTRIBUTES deny[1] = {};
    DWORD denied = 0;
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size)) {
        deny[0].Sid = admins;
        denied = 1;
    }
    return CreateRestrictedToken(own, DISABLE_MAX_PRIVILEGE, denied, deny, 0, nullptr, 0, nullptr,
                                 out) != 0;
}

// Low integrity: nothing at the user's own (medium) level can be written or signalled.
bool lowerIntegrity(HANDLE token) {
    SID_IDENTIFIER_AUTHORITY label = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID low = nullptr;
    if (!AllocateAndInitializeSid(&label, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0, 0, 0, &low))
        return false;
    TOKEN_MANDATORY_LABEL tml{};
    tml.Label.Attributes = SE_GROUP_INTEGRITY;
    tml.Label.Sid = low;
    const BOOL ok = SetTokenInformation(token, TokenIntegrityLevel, &tml,
                                        DWORD(sizeof tml + GetLengthSid(low)));
    FreeSid(low);
    return ok != 0;
}

// Every privilege of `token` removed, not only disabled.
bool dropPrivileges(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    if (!GetTokenInformation(token, TokenPrivileges, privileges, size, &size)) return false;
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
        privileges->Privileges[i].Attributes = SE_PRIVILEGE_REMOVED;
    return AdjustTokenPrivileges(token, FALSE, privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

bool openOwn(DWORD access, Token& t) {
    return OpenProcessToken(GetCurrentProcess(), access, &t.h) != 0;
}

} // namespace

int landlockAbi() {
    return 0;
}

bool seccompAvailable() {
    return false;
}

unsigned available(unsigned use) {
    unsigned have = 0;
    Token own;
    if (!openOwn(TOKEN_ALL_ACCESS, own)) return 0;
    if (use & kRestrictedToken) {
        Token probe;
        if (restrict(own.h, &probe.h)) have |= kRestrictedToken;
    }
    DWORD size = 0;
    GetTokenInformation(own.h, TokenIntegrityLevel, nullptr, 0, &size);
    if ((use & kLowIntegrity) && size > 0) have |= kLowIntegrity;
    return have;
}

std::string describe(unsigned mechanisms) {
    std::string t;
    auto add = [&](const std::string& s) { t += (t.empty() ? "" : ", ") + s; };
    if (mechanisms & kRestrictedToken) add("restricted token");
    if (mechanisms & kLowIntegrity) add("low integrity");
    return t.empty() ? "none" : t;
}

std::string describe(const Failure& failure) {
    return (failure.mechanism == 0 ? std::string("none") : describe(failure.mechanism)) + ": " +
           systemMessage(DWORD(failure.errorNumber));
}

Prepared::Prepared(std::string exec) : exec_(std::move(exec)) {}

Prepared::~Prepared() {
    if (token_) CloseHandle(token_);
}

// Which file it reads is for the token's owner to guard: a low-integrity process still reads
// what its user may.
Expected<std::unique_ptr<Prepared>> Prepared::forReader(const std::string&, const std::string& exec,
                                                        unsigned use) {
    std::unique_ptr<Prepared> p(new Prepared(exec));
    if (Expected<void> made = p->prepare(Policy{}, use); !made) return made.error();
    return p;
}

Expected<std::unique_ptr<Prepared>> Prepared::forPolicy(const Policy& policy, unsigned use) {
    std::unique_ptr<Prepared> p(new Prepared(std::string()));
    if (Expected<void> made = p->prepare(policy, use); !made) return made.error();
    return p;
}

// The paths and calls of the policy have no counterpart here: the token decides what the
// process may open, the job what it may spend.
Expected<void> Prepared::prepare(const Policy&, unsigned use) {
    use_ = available(use);
    if (exec_.empty() || use_ == 0) return {};
    Token own;
    if (!openOwn(TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT, own))
        return Error{"token: " + systemMessage(GetLastError()), EACCES};
    HANDLE child = nullptr;
    const bool made = (use_ & kRestrictedToken)
                          ? restrict(own.h, &child)
                          : DuplicateTokenEx(own.h, TOKEN_ALL_ACCESS, nullptr,
                                             SecurityImpersonation, TokenPrimary, &child) != 0;
    if (!made) return Error{"restricted token: " + systemMessage(GetLastError()), EACCES};
    token_ = child;
    if ((use_ & kLowIntegrity) && !lowerIntegrity(child))
        return Error{"low integrity: " + systemMessage(GetLastError()), EACCES};
    return {};
}

Failure Prepared::apply() noexcept {
    Token own;
    if (use_ && !openOwn(TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_DEFAULT | TOKEN_QUERY, own))
        return {use_, int(GetLastError())};
    if ((use_ & kRestrictedToken) && !dropPrivileges(own.h))
        return {kRestrictedToken, int(GetLastError())};
    if ((use_ & kLowIntegrity) && !lowerIntegrity(own.h))
        return {kLowIntegrity, int(GetLastError())};
    return {};
}

} // namespace lexivane::confine
