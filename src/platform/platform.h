// platform.h -- the VORN platform layer as the rest of the program sees it:
// the log, the last error, platform options, control-name aliases, message
// boxes, the millisecond clock, sleeping and the time-stamped event queue.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------- log

// Writes one line "[h:mm:ss.cc] " + the formatted text (caller supplies "\n").
// The first call may be the set-up request "VORN_LOGFILE=<path>"; see log.cpp.
// Returns the C library's result, 0 when there is no log file.
int log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs "Error: <text>\n" and remembers the text for last_error().
void log_error(const char* text);
// The last error text, "Unknown" until log_error is called.
const char* last_error();
// Closes the log file and forgets every log setting; for tests and shut-down.
void log_reset();
// The stamp of a line written ms milliseconds after system start, into out
// (at least 32 bytes): "[%d:%02d:%02d.%02d] ".
void log_format_stamp(uint32_t ms, char* out, int out_size);

// ---------------------------------------------------------------- options

// Platform options from VORN_OPTIONS, e.g. "[threaded:yes][sound-rate:44100]".
// Read on first use, never again. Bad values are logged and give the default.
int option_flag(const char* name, int default_value);
int option_int(const char* name, int default_value);
// Forgets the options text so the next call reads VORN_OPTIONS again (tests).
void options_reset();

// ---------------------------------------------------------------- aliases

// Adds name -> value; refuses (false, one log line) a name that already
// resolves to something else.
bool add_alias(const char* name, const char* value);
// The value of the newest alias called exactly name, or name itself.
const char* resolve_alias(const char* name);
void aliases_clear();

// ---------------------------------------------------------------- message boxes

// A modal box with an OK button (text cut to 1023 characters). Without a
// display it writes "<title>: <text>" to standard error instead, so headless
// runs never wait for a click.
void message_box(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));

// ---------------------------------------------------------------- clock and sleep

// Milliseconds since system start (monotonic).
uint32_t clock_ms();
// The same clock split into whole seconds and microseconds (a multiple of 1000).
void clock_now(int* seconds, int* microseconds);
inline double clock_seconds() { return clock_ms() * 0.001; }
// Sleeps whole milliseconds less one, then yields until the time has passed.
void sleep_for(int seconds, int microseconds);

// ---------------------------------------------------------------- events

// Key codes that the window itself produces.
inline constexpr int KEY_CLOSE = 57005;        // window close request
inline constexpr int KEY_MOUSE_LEFT = 8192;
inline constexpr int KEY_MOUSE_MIDDLE = 8193;
inline constexpr int KEY_MOUSE_RIGHT = 8194;
inline constexpr int KEY_SCAN_BASE = 4096;     // + PC set-1 scan code (0x100 = extended)
inline constexpr int EVENT_QUEUE_SIZE = 256;

// Appends an event (pressed: value 1, else 0) stamped at seconds + us; when
// 256 are queued the event is dropped. Back ends call this.
void post_event(int code, bool pressed, int seconds, int microseconds);
// Takes the oldest event when its stamp is at or before (seconds, us).
bool next_event_before(int seconds, int microseconds, int* code, float* value);
// Takes the oldest event of any time.
bool next_event(int* code, float* value);
void events_clear();

// ---------------------------------------------------------------- headless back end

// Replaces the real clock with a scripted one that only moves when told to or
// when the program sleeps, so the main loop's pacing can be driven by tests.
void headless_start(uint32_t start_ms);
void headless_stop();
bool headless_active();
void headless_set_ms(uint32_t ms);
void headless_advance_ms(uint32_t ms);
