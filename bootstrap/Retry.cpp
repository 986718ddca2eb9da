#include "bootstrap/Retry.h"

#include <algorithm>

const std::vector<TRetryRule>& RetryRules() {
  using F = THTTPFailure;
  using A = TTryAction;
  static const std::vector<TRetryRule> rules = {
      // A bad line or a busy server: the same host may well answer next time.
      {F::ConnectionFailed, 0, A::SameHost},
      {F::TimedOut, 0, A::SameHost},
      {F::BodyCutShort, 0, A::SameHost},
      {F::BodyTooLong, 0, A::SameHost},
      {F::BadRange, 0, A::SameHost},
      {F::Aborted, 0, A::SameHost},
      {F::Other, 0, A::SameHost},
      {F::HttpStatus, 408, A::SameHost},
      {F::HttpStatus, 429, A::SameHost},
      {F::HttpStatus, 500, A::SameHost},
      {F::HttpStatus, 502, A::SameHost},
      {F::HttpStatus, 503, A::SameHost},
      {F::HttpStatus, 504, A::SameHost},
      // This host will not serve the file: another may.
      {F::NameNotResolved, 0, A::NextHost},
      {F::Certificate, 0, A::NextHost},
      {F::RedirectLoop, 0, A::NextHost},
      {F::HttpStatus, 403, A::NextHost},
      {F::HttpStatus, 404, A::NextHost},
      {F::HttpStatus, 410, A::NextHost},
      {F::NoLength, 0, A::NextHost},
      {F::BadLength, 0, A::NextHost},
      // The user's proxy or the user's own disk: no host can help.
      {F::HttpStatus, 407, A::EndRun},
      {F::FileError, 0, A::EndRun},
      {F::DiskFull, 0, A::EndRun},
  };
  return rules;
}

TTryAction ActionFor(TTryFault fault, const THTTPResult& result) {
  if (fault != TTryFault::Transfer) return TTryAction::SameHost;
  const int status = result.Failure == THTTPFailure::HttpStatus ? result.Status : 0;
  for (const TRetryRule& rule : RetryRules()) {
    if (rule.Failure == result.Failure && rule.Status == status) return rule.Action;
  }
  // Any other status is the server's answer about this file.
  return TTryAction::NextHost;
}

std::uint32_t PauseBefore(int repeat, std::int32_t retryAfter) {
  // A timer never runs at 0: "now" waits a second like a server's shortest word.
  if (retryAfter >= 0) return static_cast<std::uint32_t>(std::clamp(retryAfter, 1, 60)) * 1000u;
  const int doublings = std::clamp(repeat - 1, 0, 5);
  return std::min(1000u << doublings, 30000u);
}
