// test_helpers.cc: files, folders and captured output for the unit tests.
#include "tests/test_helpers.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

#include <gtest/gtest.h>

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> names_in(const std::string &directory)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string regex_of(const std::string &text)
{
    std::string pattern;
    for (char c : text) {
        if (std::string(".[]{}()\\*+?^$|").find(c) != std::string::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

std::string make_scratch_folder(const std::string &prefix)
{
    std::string name = testing::TempDir() + prefix + "-XXXXXX";
    if (mkdtemp(name.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp " << name << ": " << strerror(errno);
        return "";
    }
    return name;
}

std::string standard_output_of(const std::function<void()> &write)
{
    std::string name = testing::TempDir() + "evtools-stdout-XXXXXX";
    int file = mkstemp(name.data());
    if (file < 0) {
        ADD_FAILURE() << "mkstemp " << name << ": " << strerror(errno);
        return "";
    }
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    dup2(file, STDOUT_FILENO);
    write();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(file);
    std::string text = read_file(name);
    unlink(name.c_str());
    return text;
}

std::string text_of(icalcomponent *component)
{
    char *text = icalcomponent_as_ical_string_r(component);
    std::string copy = text != nullptr ? text : "";
    free(text);
    return copy;
}

seeded_sample::seeded_sample(const char *name, double share) : full_(false), share_(share)
{
    const char *full = getenv("EVTOOLS_FULL_TESTS");
    full_ = full != nullptr && strcmp(full, "1") == 0;
    const char *seed = getenv("EVTOOLS_TEST_SEED");
    state_ = seed != nullptr ? strtoull(seed, nullptr, 10) : std::random_device()() % 16777216;
    if (full_)
        printf("%s: every case (EVTOOLS_FULL_TESTS=1), seed %llu\n", name, state_);
    else
        printf("%s: a sample, seed %llu (EVTOOLS_TEST_SEED=%llu replays it; "
               "EVTOOLS_FULL_TESTS=1 runs every case)\n", name, state_, state_);
}

bool seeded_sample::take()
{
    // One step of a 64-bit linear congruential generator; its top bits
    // decide.
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    double draw = static_cast<double>(state_ >> 11) / 9007199254740992.0;
    return full_ || draw < share_;
}
