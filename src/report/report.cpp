#include "report/report.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>

FILE* ntp_out = stdout;
int ntp_verbose = 0;

namespace {

constexpr size_t DOCUMENT_SIZE = 65536;
constexpr int ENTRIES_MAX = 512;

// A member as taken: its path (an item's ends at its "[]") and its value's JSON in the document.
struct Entry {
    const char* path;
    size_t path_length;
    size_t start;
    size_t length;
};

ReportFormat format = REPORT_TEXT;
char document[DOCUMENT_SIZE];
size_t used = 0;
Entry entries[ENTRIES_MAX];
int entry_count = 0;

// Appends to the document; false when it does not fit.
bool put(const char* text, size_t length) {
    if (length > DOCUMENT_SIZE - used) {
        return false;
    }
    memcpy(document + used, text, length);
    used += length;
    return true;
}

bool put_text(const char* text) {
    return put(text, strlen(text));
}

// A string as JSON requires it, and ASCII only, so that any bytes make valid UTF-8.
bool put_string(const char* bytes, size_t length) {
    bool fits = put_text("\"");
    for (size_t i = 0; fits && i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            fits = put_text(escaped);
        } else if (byte == '"' || byte == '\\') {
            const char pair[2] = {'\\', static_cast<char>(byte)};
            fits = put(pair, 2);
        } else {
            fits = put(bytes + i, 1);
        }
    }
    return fits && put_text("\"");
}

// 17 significant digits: enough for any double to read back as the same number.
bool put_number(double value) {
    char text[32];
    snprintf(text, sizeof text, "%.17g", value);
    return put_text(text);
}

bool put_value(const JsonValue& value) {
    char text[32];
    switch (value.kind) {
    case JSON_NUMBER:
        return put_number(value.number);
    case JSON_INTEGER:
        snprintf(text, sizeof text, "%lld", static_cast<long long>(value.integer));
        return put_text(text);
    case JSON_BOOLEAN:
        return put_text(value.integer != 0 ? "true" : "false");
    case JSON_STRING:
        return put_string(value.bytes, value.length);
    case JSON_NULL:
        break;
    }
    return put_text("null");
}

// Where an item's path ends: right after its "[]." or nullptr when it is no item's member.
const char* item_name(const char* path) {
    const char* brackets = strstr(path, "[].");
    return brackets != nullptr ? brackets + 3 : nullptr;
}

// Keeps what was written from `start` as the value of the path's first `path_length` bytes; a
// value that did not fit is dropped whole.
void keep(const char* path, size_t path_length, size_t start, bool fits) {
    if (!fits || entry_count == ENTRIES_MAX) {
        used = start;
        return;
    }
    entries[entry_count++] = Entry{path, path_length, start, used - start};
}

// The call's members under "name[]." as one object, the array's item.
void take_item(std::initializer_list<Member> members, const Member& first) {
    const size_t prefix = static_cast<size_t>(item_name(first.path) - first.path);
    const size_t start = used;
    bool fits = put_text("{");
    for (const Member& member : members) {
        if (item_name(member.path) != nullptr) {
            fits = fits && (used == start + 1 || put_text(",")) &&
                   put_string(member.path + prefix, strlen(member.path + prefix)) &&
                   put_text(":") && put_value(member.value);
        }
    }
    keep(first.path, prefix - 1, start, fits && put_text("}"));
}

void take(std::initializer_list<Member> members) {
    bool item_taken = false;
    for (const Member& member : members) {
        if (item_name(member.path) == nullptr) {
            const size_t start = used;
            keep(member.path, strlen(member.path), start, put_value(member.value));
        } else if (!item_taken) {
            take_item(members, member);
            item_taken = true;
        }
    }
}

// The name at `offset` of an entry's path: up to the next dot or the path's end.
size_t name_length(const Entry& entry, size_t offset) {
    size_t end = offset;
    while (end < entry.path_length && entry.path[end] != '.') {
        ++end;
    }
    return end - offset;
}

bool under(const Entry& entry, const char* prefix, size_t prefix_length) {
    return entry.path_length > prefix_length && strncmp(entry.path, prefix, prefix_length) == 0;
}

void write_items(int first) {
    fputc('[', ntp_out);
    for (int i = first; i < entry_count; ++i) {
        const Entry& entry = entries[i];
        if (entry.path_length == entries[first].path_length &&
            strncmp(entry.path, entries[first].path, entry.path_length) == 0) {
            fputs(i == first ? "" : ",", ntp_out);
            fwrite(document + entry.start, 1, entry.length, ntp_out);
        }
    }
    fputc(']', ntp_out);
}

// The object of the entries under the prefix, each name once, in the order first taken; none
// before entry `first` is under it.
void write_object(const char* prefix, size_t prefix_length, int first) {
    constexpr int NAMES_MAX = 64;
    const char* named[NAMES_MAX]; // the names written, each once
    size_t named_lengths[NAMES_MAX];
    int names = 0;
    fputc('{', ntp_out);
    for (int i = first; i < entry_count && names < NAMES_MAX; ++i) {
        const Entry& entry = entries[i];
        if (!under(entry, prefix, prefix_length)) {
            continue;
        }
        const size_t length = name_length(entry, prefix_length);
        const char* name = entry.path + prefix_length;
        bool seen = false;
        for (int j = 0; !seen && j < names; ++j) {
            seen = named_lengths[j] == length && memcmp(named[j], name, length) == 0;
        }
        if (seen) {
            continue;
        }
        const bool items = length >= 2 && entry.path[prefix_length + length - 1] == ']';
        fputs(names == 0 ? "\"" : ",\"", ntp_out);
        fwrite(entry.path + prefix_length, 1, length - (items ? 2 : 0), ntp_out);
        fputs("\":", ntp_out);
        named[names] = name;
        named_lengths[names++] = length;
        if (prefix_length + length < entry.path_length) {
            write_object(entry.path, prefix_length + length + 1, i);
        } else if (items) {
            write_items(i);
        } else {
            fwrite(document + entry.start, 1, entry.length, ntp_out);
        }
    }
    fputc('}', ntp_out);
}

} // namespace

JsonValue json_null() {
    return JsonValue{JSON_NULL, 0, 0, nullptr, 0};
}

JsonValue json_number(double value) {
    return std::isfinite(value) ? JsonValue{JSON_NUMBER, value, 0, nullptr, 0} : json_null();
}

JsonValue json_integer(int64_t value) {
    return JsonValue{JSON_INTEGER, 0, value, nullptr, 0};
}

JsonValue json_boolean(bool value) {
    return JsonValue{JSON_BOOLEAN, 0, value ? 1 : 0, nullptr, 0};
}

JsonValue json_string(const char* text) {
    return json_bytes(text, strlen(text));
}

JsonValue json_bytes(const char* bytes, size_t length) {
    return JsonValue{JSON_STRING, 0, 0, bytes, length};
}

JsonValue json_optional(const char* text) {
    return text[0] != '\0' ? json_string(text) : json_null();
}

void report_start(ReportFormat form) {
    format = form;
    used = 0;
    entry_count = 0;
}

ReportFormat report_format() {
    return format;
}

void report_members(std::initializer_list<Member> members) {
    if (format == REPORT_JSON) {
        take(members);
    }
}

bool report_error_message(std::initializer_list<Member> members, const char* message) {
    report_members(members);
    report_line({{"errors[]", json_string(message)}}, "## Error ##: %s\n", message);
    return false;
}

void report_end() {
    if (format != REPORT_JSON) {
        return;
    }
    // A run with no error says so too: its list is there, empty.
    bool errors = false;
    for (int i = 0; i < entry_count; ++i) {
        errors = errors || (entries[i].path_length == strlen("errors[]") &&
                            strncmp(entries[i].path, "errors[]", entries[i].path_length) == 0);
    }
    const size_t start = used;
    if (!errors) {
        keep("errors", strlen("errors"), start, put_text("[]"));
    }
    write_object("", 0, 0);
    fputc('\n', ntp_out);
}
