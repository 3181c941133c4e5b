#include "processor/StateTextGuard.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string nested (int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<a>";
    for (int i = 0; i < depth; ++i)
        text += "</a>";
    return text;
}

// A root with one attribute padded so that the whole text is exactly numBytes long.
std::string paddedTo (std::size_t numBytes)
{
    const std::string head = "<QUOLBANE pad=\"";
    const std::string tail = "\"/>";
    return head + std::string (numBytes - head.size() - tail.size(), 'x') + tail;
}

bool isSafe (const std::string& text)
{
    return StateTextGuard::isSafe (text.data(), text.size());
}

const std::string savedState = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <QUOLBANE>"
                               "<PARAM id=\"character\" value=\"2.0\"/><PARAM id=\"mix\" value=\"35.0\"/>"
                               "</QUOLBANE>";
}

TEST (StateTextGuard, TableOfTexts)
{
    struct Case
    {
        const char* name;
        std::string text;
        bool safe;
    };

    const Case cases[]{
        // Accepted.
        { "a saved state", savedState, true },
        { "no declaration", "<QUOLBANE/>", true },
        { "declaration with another encoding name", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", true },
        { "multi-line with comment and CDATA", "<?xml version=\"1.0\"?>\r\n<a>\n\t<!-- c --><![CDATA[<x>]]></a>\n",
          true },
        { "the five built-in entities", "<a v=\"&lt;&gt;&amp;&apos;&quot;\">&lt;&amp;</a>", true },
        { "decimal character reference", "<a v=\"&#65;\">&#65;</a>", true },
        { "hexadecimal character reference", "<a v=\"&#x41;&#x10FFFF;\"/>", true },
        { "multi-byte UTF-8", "<a v=\"\xc3\xa9\xe2\x82\xac\xf0\x9d\x84\x9e\"/>", true },
        { "foreign children and attributes", "<QUOLBANE x=\"1\"><b><c d=\"e\"/></b><PARAM id=\"zz\"/></QUOLBANE>",
          true },
        { "depth 256", nested (256), true },
        { "exactly 64 KiB", paddedTo (64 * 1024), true },

        // Refused.
        { "empty", "", false },
        { "only whitespace", "   \n", false },
        { "text without element", "hello", false },
        { "DOCTYPE", "<!DOCTYPE a><a/>", false },
        { "DOCTYPE with internal subset", "<!DOCTYPE a [<!ELEMENT a ANY>]><a/>", false },
        { "entity declaration", "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", false },
        { "external entity", "<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>", false },
        { "processing instruction before the root", "<?xml version=\"1.0\"?><?style x?><a/>", false },
        { "processing instruction inside", "<a><?pi data?></a>", false },
        { "processing instruction after the root", "<a/><?pi?>", false },
        { "empty processing instruction", "<a><?\?>b", false }, // \? keeps "??>" from reading as a trigraph
        { "declaration inside the content", "<a><?xml version=\"1.0\"?></a>", false },
        { "invalid lead byte", "<a v=\"\xff\"/>", false },
        { "stray continuation byte", "<a v=\"\x80\"/>", false },
        { "overlong encoding", "<a v=\"\xc0\xaf\"/>", false },
        { "encoded surrogate", "<a v=\"\xed\xa0\x80\"/>", false },
        { "beyond U+10FFFF", "<a v=\"\xf4\x90\x80\x80\"/>", false },
        { "truncated sequence at the end", "<a/>\xe2\x82", false },
        { "truncated sequence in content", "<a>\xf1</a>", false },
        { "zero byte inside", std::string ("<a v=\"1\0\"/>", 11), false },
        { "zero byte at the end", std::string ("<a/>\0", 5), false },
        { "depth 257", nested (257), false },
        { "depth 50000", nested (50000), false },
        { "over 64 KiB", paddedTo (64 * 1024 + 1), false },
        { "undefined entity", "<a>&nbsp;</a>", false },
        { "undefined entity in an attribute", "<a v=\"&x;\"/>", false },
        { "character reference without digits", "<a>&#;</a>", false },
        { "hexadecimal reference without digits", "<a>&#x;</a>", false },
        { "character reference cut off", "<a>&#x", false },
        { "bad digit in a reference", "<a>&#x4G;</a>", false },
        { "upper-case X in a reference", "<a>&#X41;</a>", false },
        { "reference to NUL", "<a>&#0;</a>", false },
        { "reference beyond Unicode", "<a>&#x110000;</a>", false },
        { "reference to a surrogate", "<a>&#xD800;</a>", false },
        { "ampersand alone", "<a>a & b</a>", false },
        { "unclosed element", "<a><b></a>", false },
        { "cut in an element", "<QUOLBANE><PARAM id=\"mix\" val", false },
        { "two roots", "<a/><b/>", false },
        { "duplicate attribute", "<a v=\"1\" v=\"2\"/>", false },
        { "unquoted attribute", "<a v=1/>", false },
        { "control character", "<a>\x01</a>", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (isSafe (c.text), c.safe) << c.name;
}

TEST (StateTextGuard, OnlyTheGivenBytesAreRead)
{
    // A valid document followed by bytes outside the range: only the range is looked at.
    const std::string text = "<a/>\xff\xff";
    EXPECT_TRUE (StateTextGuard::isSafe (text.data(), 4));
    EXPECT_FALSE (StateTextGuard::isSafe (text.data(), text.size()));
    EXPECT_FALSE (StateTextGuard::isSafe (nullptr, 0));
    EXPECT_FALSE (StateTextGuard::isSafe (nullptr, 10));
    EXPECT_FALSE (StateTextGuard::isSafe (text.data(), 0));
}
