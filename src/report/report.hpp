#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

// The report of a run, in one of two forms written from the same calls: text, each line on
// ntp_out as soon as its fact is known; or JSON (RFC 8259), one object on one line, written at
// the end. Each call gives a fact's text line together with the members it stands for, so that
// no fact reaches one form and misses the other. It knows no protocol: callers name the members.

enum ReportFormat { REPORT_TEXT, REPORT_JSON };

// The report's stream, standard output once the program has started, and whether the report is
// verbose: the field dump and the T1 to T4 lines are written only then.
extern FILE* ntp_out;
extern int ntp_verbose;

enum JsonKind { JSON_NULL, JSON_NUMBER, JSON_INTEGER, JSON_BOOLEAN, JSON_STRING };

// A member's value. A string is bytes from anywhere, written escaped so that the object stays
// ASCII: quotes, backslashes, controls and every byte from 0x7F up as \u00XX.
struct JsonValue {
    JsonKind kind;
    double number;
    int64_t integer;
    const char* bytes;
    size_t length;
};
JsonValue json_null();
JsonValue json_number(double value); // null when it is no finite number
JsonValue json_integer(int64_t value);
JsonValue json_boolean(bool value);
JsonValue json_string(const char* text); // up to its NUL
JsonValue json_bytes(const char* bytes, size_t length);
JsonValue json_optional(const char* text); // null when empty

// A member: its path of names joined by dots ("reply.stratum"), a string literal. A name ending
// in "[]" adds an item to that array; a call's members under "name[]." are one object, that
// array's item (one item a call).
struct Member {
    const char* path;
    JsonValue value;
};

// Starts a run's report in that form.
void report_start(ReportFormat format);
ReportFormat report_format();

// In JSON, takes the members; in text, nothing.
void report_members(std::initializer_list<Member> members);
// An error whose message is whole: see report_error.
bool report_error_message(std::initializer_list<Member> members, const char* message);

// One fact: in text, the line that `format` and the values make (none when nullptr); in JSON,
// the members.
template <typename... Values>
void report_line(std::initializer_list<Member> members, const char* format, Values... values) {
    if (report_format() == REPORT_JSON) {
        report_members(members);
    } else if constexpr (sizeof...(Values) == 0) {
        if (format != nullptr) {
            fputs(format, ntp_out);
        }
    } else {
        fprintf(ntp_out, format, values...);
    }
}

// An error: in text the line "## Error ##: " and the message that `format` and the values make;
// in JSON one more item of "errors", the message, and the members. Returns false, so that a
// failing step can end with it.
constexpr size_t REPORT_MESSAGE_MAX = 4096;
template <typename... Values>
bool report_error(std::initializer_list<Member> members, const char* format, Values... values) {
    char message[REPORT_MESSAGE_MAX];
    if constexpr (sizeof...(Values) == 0) {
        snprintf(message, sizeof message, "%s", format);
    } else {
        snprintf(message, sizeof message, format, values...);
    }
    return report_error_message(members, message);
}
template <typename... Values> bool report_error(const char* format, Values... values) {
    return report_error({}, format, values...);
}

// Ends the report: in JSON, writes the object and a newline.
void report_end();
