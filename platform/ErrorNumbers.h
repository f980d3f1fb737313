#pragma once
// The error numbers that the program's callers test. The directory layer maps
// every libldap outcome onto these (one table, in the directory service).
#include <cstdint>

namespace qv::err {

constexpr std::int32_t hr(std::uint32_t value) { return static_cast<std::int32_t>(value); }

// Directory service.
inline constexpr std::int32_t ServerDown = hr(0x8007203A);          // cannot reach the server
inline constexpr std::int32_t LogonFailure = hr(0x8007052E);        // bad user name or password
inline constexpr std::int32_t NoSuchObject = hr(0x80072030);
inline constexpr std::int32_t NoSuchAttribute = hr(0x8007200A);     // attribute or value does not exist
inline constexpr std::int32_t PropertyNotFound = hr(0x8000500D);    // not in the property cache
inline constexpr std::int32_t AccessDenied = hr(0x80070005);
inline constexpr std::int32_t AlreadyExists = hr(0x80071392);
inline constexpr std::int32_t ValueExists = hr(0x8007200D);         // typeOrValueExists (20)
inline constexpr std::int32_t ConstraintViolation = hr(0x8007202F); // constraintViolation (19)
inline constexpr std::int32_t CriticalExtension = hr(0x8007202C);   // unavailableCriticalExtension (12)
inline constexpr std::int32_t FilterUnknown = hr(0x8007203E);       // a filter that cannot be read
inline constexpr std::int32_t SizeLimitExceeded = hr(0x80072023);
inline constexpr std::int32_t TimeLimitExceeded = hr(0x80072022);
inline constexpr std::int32_t AdminLimitExceeded = hr(0x80072024);
inline constexpr std::int32_t BadPathname = hr(0x80005000);         // a text that is not a directory address
inline constexpr std::int32_t CertificateUntrusted = hr(0x80090325); // a TLS server whose certificate cannot be verified
// Search provider.
inline constexpr std::int32_t SearchAccessDenied = hr(0x80040E09);  // permission denied
inline constexpr std::int32_t SearchTableNotFound = hr(0x80040E37); // server or base not found
inline constexpr std::int32_t SearchCommandInvalid = hr(0x80040E14); // a search command that cannot be read
// The program's own numbers.
inline constexpr std::int32_t SubscriptOutOfRange = 9;              // an index outside an array
inline constexpr std::int32_t ObjectNotSet = 91;                    // an operation on an object that is not there
inline constexpr std::int32_t TypeMismatch = 13;                    // a text read as a list or the reverse
inline constexpr std::int32_t ItemNotFound = 3265;                  // no field of that name
inline constexpr std::int32_t NoCurrentRow = 3021;                  // a field read at the end of a result
// Anything the program did not foresee (a failure that is not an Error).
inline constexpr std::int32_t Unexpected = hr(0x80004005);
inline constexpr std::int32_t FieldAlreadyExists = 3367;            // property bag: a name listed twice
inline constexpr std::int32_t MembershipWriteFailed = 1010;
inline constexpr std::int32_t NotQuorvel = 2305;
inline constexpr std::int32_t QuestionableQuery = 2306;
// Content synchronisation: the server cannot resume from the cookie it was
// given (e-syncRefreshRequired, or a cookie it would not take): start over without one.
inline constexpr std::int32_t SyncRefreshRequired = 2307;
// The server offers no content synchronisation for the search's base.
inline constexpr std::int32_t SyncUnavailable = 2308;
// The entry changed since the value a write was made conditional on was read (assertionFailed, 122).
inline constexpr std::int32_t AssertionFailed = 2309;

}  // namespace qv::err
