#pragma once
// What a failed try leads to in a program built with the vendor's key and
// with more tries or mirror hosts: the same host again, the next host, or
// the end of the run; and how long to wait before the next try.
#include <cstdint>
#include <string>
#include <vector>

#include "httpget/HTTPResult.h"

enum class TTryAction {
  SameHost,  // tried again on this host while tries are left, then the next host
  NextHost,  // the next host at once
  EndRun,    // no host can help: the run ends
};

// What went wrong with one try.
enum class TTryFault {
  Transfer,         // the getter's record says what
  LengthNotListed,  // announced or received beyond the size the list gives
  CheckFailed,      // the file arrived whole but is not the list's
};

// One row of the table: a failure of the getter (with a status for
// HttpStatus; 0 for any other) and what it leads to.
struct TRetryRule {
  THTTPFailure Failure;
  int Status;
  TTryAction Action;
};
// The whole table, as the README shows it.
const std::vector<TRetryRule>& RetryRules();

TTryAction ActionFor(TTryFault fault, const THTTPResult& result);

// Milliseconds before repeat number n (1 for the first): 1 s, doubling, at
// most 30 s; a server's Retry-After (seconds, -1 when none) instead, at
// least 1 s and at most 60 s.
std::uint32_t PauseBefore(int repeat, std::int32_t retryAfter);
