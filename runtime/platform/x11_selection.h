// The desktop services' own X11 connection and the CLIPBOARD selection on it:
// owning the selection and answering other programs, and fetching another
// owner's text. The connection is the runtime's second one, beside SDL's, so
// that the selection's events come to us and not to SDL's event loop; like
// every X11 call it belongs to the event thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct _XDisplay;

// Event thread: the connection, opened at its first use from $DISPLAY; null
// when there is no X display (then it is not tried again).
_XDisplay* x11_desktop_display();
// Event thread: closes the connection (shutdown); the selection goes with it.
void x11_desktop_close();

// Event thread, every pass: answers requests for our text, follows the
// selection we lost and takes in the text being fetched. Costs nothing while
// the connection was never opened.
void x11_selection_pass();

// Event thread: takes CLIPBOARD with this text, in UTF-8 (offered as
// UTF8_STRING and TEXT) and Latin-1 (offered as STRING). False when there is
// no display or the server gave the selection to another client.
bool x11_selection_own(std::string utf8, std::string latin1);
// Any thread: true while the selection is ours.
bool x11_selection_owned();

// What a fetch brought.
// `ours` when the selection is still our own text.
enum class SelectionFetch : uint8_t { pending, none, utf8, latin1, ours };
// Event thread: asks the owner for its text as UTF8_STRING, then as STRING.
// The fetch is known by `fetch_id`; a newer one abandons an older one.
void x11_selection_fetch_start(uint64_t fetch_id);
// Any thread: the result of fetch `fetch_id`, with its bytes in *text once it
// is no longer pending. The program thread's wake-up is signalled when a
// fetch ends.
SelectionFetch x11_selection_fetch_result(uint64_t fetch_id, std::string* text);
// Any thread: the bytes the current fetch has taken in so far (a transfer in
// pieces shows its progress here).
size_t x11_selection_fetch_progress();

// Text taken from another owner stops at this many bytes, however much it offers.
constexpr size_t x11_selection_limit_bytes = size_t{16} << 20;
