#pragma once

// Small helpers for the in-process tests: the report captured from ntp_out, a time zone set
// for one scope, an environment variable set for one scope.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "app/config.hpp"

class ReportCapture {
  public:
    ReportCapture() : file_(tmpfile()) {
        ntp_init(1);
        ntp_out = file_;
    }
    ~ReportCapture() {
        ntp_out = stdout;
        fclose(file_);
    }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    std::string text() {
        fflush(file_);
        std::string all;
        rewind(file_);
        for (int c; (c = fgetc(file_)) != EOF;) {
            all.push_back(static_cast<char>(c));
        }
        return all;
    }

  private:
    FILE* file_;
};

class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = getenv(name)) {
            old_ = old;
        }
        set(value);
    }
    ~ScopedEnv() { set(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_, value->c_str(), 1);
        } else {
            unsetenv(name_);
        }
        tzset();
    }
    const char* name_;
    std::optional<std::string> old_;
};

struct ScopedTimeZone : ScopedEnv {
    explicit ScopedTimeZone(const char* zone) : ScopedEnv("TZ", std::string(zone)) {}
};
