// test_helpers.h: what the unit tests of every folder need around the code
// they test: whole files read and written, scratch folders under GoogleTest's
// temporary folder, standard output caught, components as libical writes them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <libical/ical.h>

/// The bytes of the file; empty when it cannot be read.
std::string read_file(const std::string &path);

/// Replaces the file's content with text.
void write_file(const std::string &path, const std::string &text);

/// The names in the folder, sorted.
std::vector<std::string> names_in(const std::string &directory);

/// The text as a regular expression that matches only itself.
std::string regex_of(const std::string &text);

/// A new empty folder under testing::TempDir() whose name begins with
/// prefix; the caller removes it. Empty, with a test failure, when it
/// cannot be made.
std::string make_scratch_folder(const std::string &prefix);

/// What write puts on standard output through stdio. The descriptor is
/// swapped underneath the stream, which is flushed before and after.
std::string standard_output_of(const std::function<void()> &write);

/// The component as libical writes it.
std::string text_of(icalcomponent *component);

/// A slow property checked on a seeded sample of its cases: each run draws
/// a new seed unless EVTOOLS_TEST_SEED names one, and EVTOOLS_FULL_TESTS=1
/// takes every case. The seed is printed, so that a failure can be replayed.
class seeded_sample {
  public:
    /// name: what the sample is of, for the printed line; share: the part
    /// of the cases taken, from 0 to 1.
    seeded_sample(const char *name, double share);
    /// Whether the next case is in the sample.
    bool take();

  private:
    bool full_;
    double share_;
    unsigned long long state_;
};
