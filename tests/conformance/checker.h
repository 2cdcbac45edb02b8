// A minimal check collector shared by the Linux binary tests and the Windows
// test host (no GoogleTest for mingw-w64): each failed check prints one line;
// the run ends with "N passed, N failed".
#pragma once

#include <cstdio>
#include <sstream>
#include <string>

namespace klv::conformance {

class Checker {
public:
    void check(bool ok, const std::string& what, const char* file, int line) {
        if (ok) {
            ++passed_;
            return;
        }
        ++failed_;
        std::printf("FAIL %s:%d [%s] %s\n", file, line, context_.c_str(), what.c_str());
    }
    void setContext(const std::string& context) { context_ = context; }
    int passed() const { return passed_; }
    int failed() const { return failed_; }

private:
    int passed_ = 0;
    int failed_ = 0;
    std::string context_;
};

template <class A, class B>
std::string describeEq(const A& a, const B& b, const char* ea, const char* eb) {
    std::ostringstream s;
    s << ea << " == " << eb << " (" << a << " vs " << b << ")";
    return s.str();
}

}  // namespace klv::conformance

#define KLV_CHECK(c, cond) (c).check(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
#define KLV_CHECK_EQ(c, a, b)                                                                                \
    do {                                                                                                     \
        const auto& klvA_ = (a);                                                                             \
        const auto& klvB_ = (b);                                                                             \
        (c).check(klvA_ == klvB_, ::klv::conformance::describeEq(klvA_, klvB_, #a, #b), __FILE__, __LINE__); \
    } while (0)
