// html_text_test.cc: the three writers of calendar and user text, by rule.
#include "renderer/html_text.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>
#include <regex.h>
#include <string>

#include <gtest/gtest.h>

#include "tests/test_helpers.h"

namespace {

std::string escaped(const std::string &text)
{
    std::string out;
    for (char byte : text) {
        if (byte == '<')
            out += "&lt;";
        else if (byte == '>')
            out += "&gt;";
        else if (byte == '&')
            out += "&amp;";
        else
            out += byte;
    }
    return out;
}

std::string link(const std::string &uri)
{
    return "<a href=\"" + escaped(uri) + "\">" + escaped(uri) + "</a>";
}

// True when the letters before "://" in a match name a script scheme.
bool has_script_scheme(const std::string &match)
{
    size_t separator = match.find("://");
    if (separator == std::string::npos)
        return false;
    std::string scheme = match.substr(0, separator);
    for (char &byte : scheme)
        byte = static_cast<char>(tolower(static_cast<unsigned char>(byte)));
    return scheme == "javascript" || scheme == "vbscript" || scheme == "livescript";
}

// The writer as the link rule states it: the matcher is asked at every byte
// about the whole rest of the text, given as a string of its own; a match
// with a script scheme is written as plain text.
std::string reference_linked_text(const std::string &text)
{
    regex_t pattern;
    EXPECT_EQ(0, regcomp(&pattern, LINK_PATTERN, REG_EXTENDED | REG_ICASE));
    std::string out;
    size_t position = 0;
    while (position < text.size() && text[position] != '\0') {
        regmatch_t match[1];
        if (regexec(&pattern, text.c_str() + position, 1, match, 0) == 0) {
            size_t length = static_cast<size_t>(match[0].rm_eo);
            std::string uri = text.substr(position, length);
            out += has_script_scheme(uri) ? escaped(uri) : link(uri);
            position += length;
        } else {
            out += escaped(text.substr(position, 1));
            position++;
        }
    }
    regfree(&pattern);
    return out;
}

std::string linked(const std::string &text)
{
    return standard_output_of([&] { put_linked_text(text.c_str()); });
}

}  // namespace

struct escape_case {
    const char *name;
    std::string text;   // may hold a NUL
    long end;           // offset of end into text; -1: none
    const char *expected;
};

TEST(put_escaped, table)
{
    const escape_case cases[] = {
        {"end none writes the whole text", "plain text", -1, "plain text"},
        {"empty text writes nothing", "", -1, ""},
        {"empty text with end at its start", "", 0, ""},
        {"end at the first byte writes nothing", "abc", 0, ""},
        {"end inside the text stops there", "abcdef", 3, "abc"},
        {"end at the NUL writes all", "abc", 3, "abc"},
        {"NUL before end stops at the NUL", std::string("ab\0cd", 5), 5, "ab"},
        {"NUL with end none stops at the NUL", std::string("ab\0cd", 5), -1, "ab"},
        {"angle brackets, ampersand and double quote", "<a href=\"x\">&</a>", -1,
         "&lt;a href=\"x\"&gt;&amp;&lt;/a&gt;"},
        {"entity is written whole even at end", "a&b", 2, "a&amp;"},
        {"existing entity is escaped again", "&amp;", -1, "&amp;amp;"},
        {"apostrophe, controls, line breaks, UTF-8 unchanged", "it's\t\x01\r\n\xc3\xa9", -1,
         "it's\t\x01\r\n\xc3\xa9"},
    };
    for (const escape_case &c : cases) {
        SCOPED_TRACE(c.name);
        const char *text = c.text.c_str();
        const char *end = c.end < 0 ? nullptr : text + c.end;
        EXPECT_EQ(c.expected, standard_output_of([&] { put_escaped(text, end); }));
    }
}

struct number_case {
    int value;
    int width;
};

// Every number as printf's "%0*d" writes it: the widths the writers use are
// 1, 2 and 4, for years 1 to 9999 and the fields of a time.
TEST(put_number, as_printf_writes_it)
{
    const number_case cases[] = {
        {0, 1},   {7, 1},    {31, 1},   {2002, 1}, {0, 2},    {5, 2},         {59, 2},
        {99, 2},  {100, 2},  {0, 4},    {7, 4},    {999, 4},  {1000, 4},      {2002, 4},
        {9999, 4}, {12345, 4}, {123456789, 2}, {2147483647, 1}, {42, 12},
    };
    for (const number_case &c : cases) {
        char expected[32];
        snprintf(expected, sizeof expected, "%0*d", c.width, c.value);
        SCOPED_TRACE(expected);
        EXPECT_EQ(expected, standard_output_of([&] { put_number(c.value, c.width); }));
    }
}

struct class_token_case {
    const char *name;
    const char *text;
    const char *expected;
};

TEST(put_class_token, table)
{
    const class_token_case cases[] = {
        {"space becomes a hyphen", "Team meeting", "Team-meeting"},
        {"comma and space are two hyphens", "a, b", "a--b"},
        {"two-byte UTF-8 letter becomes two hyphens", "caf\xc3\xa9", "caf--"},
        {"three-byte UTF-8 character becomes three hyphens", "\xe2\x82\xac", "---"},
        {"empty text writes nothing", "", ""},
        {"letters keep their case, leading digit stays", "9to5 XY", "9to5-XY"},
        {"runs are not collapsed, nothing is trimmed", " -_a__ ", "---a---"},
        {"line break, tab, DEL and markup become hyphens", "a\nb\tc\x7f<&>\"", "a-b-c-----"},
        {"0x80 and 0xff become hyphens", "\x80\xff", "--"},
    };
    for (const class_token_case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, standard_output_of([&] { put_class_token(c.text); }));
    }
}

struct link_case {
    const char *name;
    const char *text;
    std::string expected;
};

TEST(put_linked_text, link_boundaries)
{
    const link_case cases[] = {
        // Schemes.
        {"http", "see http://example.com/a ok", "see " + link("http://example.com/a") + " ok"},
        {"https", "https://example.com", link("https://example.com")},
        {"ftp", "ftp://ftp.example.org/pub/x.tar", link("ftp://ftp.example.org/pub/x.tar")},
        {"mailto", "mail mailto:a.b@example.com now",
         "mail " + link("mailto:a.b@example.com") + " now"},
        {"geo with final full stop", "at geo:48.2,16.3.", "at " + link("geo:48.2,16.3.")},
        {"urn with a namespace", "urn:isbn:123", link("urn:isbn:123")},
        {"urn namespace with digits and hyphen", "urn:x-1:a", link("urn:x-1:a")},
        {"urn without namespace is plain", "urn::x urn:isbn:", "urn::x urn:isbn:"},
        {"any letters before :// are a scheme", "webcal://h/c.ics", link("webcal://h/c.ics")},
        {"digits before :// are no scheme", "h2://x", "h2://x"},
        {"one body byte is enough", "geo:1", link("geo:1")},
        // Upper-case schemes and bodies.
        {"upper-case mailto", "MAILTO:A@B.ORG", link("MAILTO:A@B.ORG")},
        {"upper-case geo", "GEO:1,2", link("GEO:1,2")},
        {"upper-case urn", "URN:ISBN:9", link("URN:ISBN:9")},
        {"mixed-case http", "HtTp://X.Org/%4a", link("HtTp://X.Org/%4a")},
        // Percent escapes.
        {"valid escape stays in", "http://a.b/x%20y z", link("http://a.b/x%20y") + " z"},
        {"upper-case hex digits", "http://a.b/%C3%A9", link("http://a.b/%C3%A9")},
        {"invalid escape ends the link before %", "http://a.b/x%2Gy",
         link("http://a.b/x") + "%2Gy"},
        {"percent at the end of the text", "http://a.b/x%", link("http://a.b/x") + "%"},
        {"one hex digit then end", "http://a.b/x%4", link("http://a.b/x") + "%4"},
        {"escape as the only body", "http://%41", link("http://%41")},
        {"invalid escape as the only body is plain", "http://%zz", "http://%zz"},
        // Ports and other colons.
        {"a port ends the link at the colon", "http://example.com:8080/path",
         link("http://example.com") + ":8080/path"},
        {"mailto body ends at a colon", "mailto:a:b", link("mailto:a") + ":b"},
        {"a scheme inside a body ends at its colon", "http://a.b/http://c",
         link("http://a.b/http") + "://c"},
        // Brackets and entities.
        {"angle brackets outside", "<http://x.org>", "&lt;" + link("http://x.org") + "&gt;"},
        {"square brackets inside", "http://[::1]/", link("http://[") + "::1]/"},
        {"square brackets in a body", "http://h/[a]", link("http://h/[a]")},
        {"ampersand in href and text", "http://x.org/?a=1&b=2",
         "<a href=\"http://x.org/?a=1&amp;b=2\">http://x.org/?a=1&amp;b=2</a>"},
        // Bytes at the end that belong to the link.
        {"comma", "http://x.org/a, next", link("http://x.org/a,") + " next"},
        {"semicolon", "http://x.org/a; next", link("http://x.org/a;") + " next"},
        {"closing parenthesis", "(see http://x.org/a)", "(see " + link("http://x.org/a)")},
        {"full stop", "Go to http://x.org.", "Go to " + link("http://x.org.")},
        {"apostrophe, star, plus, equals, tilde", "http://h/'*+=~!$",
         link("http://h/'*+=~!$")},
        // Bytes that end a link.
        {"space", "http://x.org y", link("http://x.org") + " y"},
        {"double quote", "\"http://x.org\"", "\"" + link("http://x.org") + "\""},
        {"line break", "http://x.org\nnext", link("http://x.org") + "\nnext"},
        {"tab", "http://x.org\tnext", link("http://x.org") + "\tnext"},
        {"backslash", "http://x.org\\a", link("http://x.org") + "\\a"},
        {"caret, backquote, braces, bar", "http://a^b http://c`d http://e{f}g|h",
         link("http://a") + "^b " + link("http://c") + "`d " + link("http://e") + "{f}g|h"},
        {"byte outside ASCII", "http://x.org/caf\xc3\xa9", link("http://x.org/caf") + "\xc3\xa9"},
        // Scheme parts with nothing after them.
        {"mailto alone", "mailto:", "mailto:"},
        {"geo alone", "geo:", "geo:"},
        {"letters and :// then a space", "http:// x", "http:// x"},
        {"letters and :// at the end", "see http://", "see http://"},
        {"mailto then space", "mailto: a@b", "mailto: a@b"},
        // Glued words.
        {"word glued to a :// scheme joins the link", "seehttp://x.org",
         link("seehttp://x.org")},
        {"letters only: digit before the scheme stays out", "1http://x",
         "1" + link("http://x")},
        {"plus before the scheme stays out", "svn+ssh://host", "svn+" + link("ssh://host")},
        {"word glued to mailto stays out", "writemailto:a@b", "write" + link("mailto:a@b")},
        {"word glued to geo stays out", "mygeo:1,2", "my" + link("geo:1,2")},
        {"word glued to urn stays out", "theurn:isbn:1", "the" + link("urn:isbn:1")},
        {"fixed word before :// is one link", "mailto://x", link("mailto://x")},
        {"glued word before mailto:// joins the link", "xmailto://y", link("xmailto://y")},
        {"urn namespace followed by //", "urn:isbn://x", link("urn:isbn://x")},
        // Script schemes are plain text, whole, in any case.
        {"javascript", "javascript://%0Aalert(document.cookie)",
         "javascript://%0Aalert(document.cookie)"},
        {"upper-case vbscript", "VBSCRIPT://%0Amsgbox(1)", "VBSCRIPT://%0Amsgbox(1)"},
        {"mixed-case livescript", "LiveScript://x", "LiveScript://x"},
        {"mixed-case javascript", "JaVaScRiPt://%0a1", "JaVaScRiPt://%0a1"},
        {"no link starts inside a script match", "javascript://a%0Ahttp://b&c",
         "javascript://a%0Ahttp://b&amp;c"},
        {"links after a script match", "javascript://x http://y",
         "javascript://x " + link("http://y")},
        {"a script word glued to other letters is another scheme", "xjavascript://y",
         link("xjavascript://y")},
        {"a script word after a full stop", "a.javascript://y", "a.javascript://y"},
        {"the end of a script word is another scheme", "java script://y",
         "java " + link("script://y")},
        {"script schemes need ://", "javascript:alert(1)", "javascript:alert(1)"},
        // Several links and escaping around them.
        {"two links", "http://a http://b", link("http://a") + " " + link("http://b")},
        {"link right after markup", "a<b>&http://x", "a&lt;b&gt;&amp;" + link("http://x")},
        {"text without a scheme is escaped only", "a < b & c > \"d\": e",
         "a &lt; b &amp; c &gt; \"d\": e"},
        {"empty text writes nothing", "", ""},
    };
    for (const link_case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, linked(c.text));
        EXPECT_EQ(reference_linked_text(c.text), linked(c.text));
    }
}

// Long texts give the same bytes as the straightforward writer (which is
// quadratic and so is run on the short versions only), and whole-length texts
// are written as the rule says. 30 KB is several times every buffer on the
// way; the writer's speed on long texts is measured by the bench.
TEST(put_linked_text, long_texts)
{
    std::string letters;
    for (size_t i = 0; i < 30000; i++)
        letters += static_cast<char>('a' + i % 26);

    const std::string short_letters = letters.substr(0, 3000);
    EXPECT_EQ(reference_linked_text(short_letters), linked(short_letters));
    EXPECT_EQ(short_letters, linked(short_letters));
    EXPECT_EQ(letters, linked(letters));

    const std::string short_dead_scheme = short_letters + ":// x";
    EXPECT_EQ(reference_linked_text(short_dead_scheme), linked(short_dead_scheme));
    const std::string dead_scheme = letters + ":// x";
    EXPECT_EQ(dead_scheme, linked(dead_scheme));

    const std::string short_url = "http://example.com/" + short_letters + "?q=1&r=%41 end";
    EXPECT_EQ(reference_linked_text(short_url), linked(short_url));
    const std::string url = "http://example.com/" + letters + "?q=1&r=%41";
    EXPECT_EQ(link(url) + " end", linked(url + " end"));

    const std::string glued = letters + "://" + letters;
    EXPECT_EQ(link(glued), linked(glued));

    std::string many;
    std::string many_linked;
    for (int i = 0; i < 3000; i++) {
        many += "mailto:x ";
        many_linked += link("mailto:x") + " ";
    }
    EXPECT_EQ(reference_linked_text(many.substr(0, 2700)), linked(many.substr(0, 2700)));
    EXPECT_EQ(many_linked, linked(many));
}

// The fast writer against the straightforward one on seeded random texts made
// of the bytes that schemes, bodies and their ends are made of.
TEST(put_linked_text, agrees_with_reference_on_random_texts)
{
    static const char alphabet[] =
        "httpsfmailtogeournisbwx"
        "HTTPMAILTOGEOURN"
        ":/%@.<>&\" \n"
        "0123456789abcdefABCDEF"
        ":/:/%%-,;()[]?#=~\t\\"
        "\xc3\xa9";
    const size_t alphabet_size = sizeof alphabet - 1;
    static const char *const pieces[] = {"http://", "mailto:", "geo:", "urn:isbn:", "://",
                                         "%4", "%4a", "HTTPS://", "urn:x-y:", "javascript://",
                                         "VBScript", "LIVESCRIPT://"};
    std::mt19937 random(20020927);
    for (int round = 0; round < 600; round++) {
        std::string text;
        size_t length = random() % 120;
        while (text.size() < length) {
            if (random() % 6 == 0)
                text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
            else
                text += alphabet[random() % alphabet_size];
        }
        SCOPED_TRACE("text: " + text);
        ASSERT_EQ(reference_linked_text(text), linked(text));
    }
}

// An event's URL becomes the summary's link only when the text writer would
// link all of it.
struct whole_link_case {
    const char *name;
    const char *text;
    size_t length;
};

const whole_link_case WHOLE_LINK_CASES[] = {
    {"web address", "https://example.org/a?b=1&c=2", 29},
    {"mail address", "mailto:desk@example.org", 23},
    {"urn", "urn:isbn:0451450523", 19},
    {"ends at a quote", "https://example.org/\"x", 20},
    {"script scheme", "javascript://%0Aalert(1)", 0},
    {"script scheme in capitals", "JavaScript://x", 0},
    {"relative address", "/events/1", 0},
    {"scheme without a body", "https://", 0},
    {"no scheme part", "example.org", 0},
};

TEST(whole_link_length, table)
{
    for (const whole_link_case &c : WHOLE_LINK_CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.length, whole_link_length(c.text));
    }
}
