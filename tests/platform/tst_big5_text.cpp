#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/big5_text.h"
#include "platform/text_table.h"

TEST(Big5Text, GreetingIsExactBig5)
{
    ASSERT_EQ(CTextTable::Big5(Text::Greeting), std::string("220 \xC5\x77\xAA\xEF\xA8\xCF\xA5\xCE Vandrel Tessel FTP Server"));
    ASSERT_EQ(CTextTable::Big5(Text::ReplyBye), std::string("220 \xA6\x41\xA8\xA3\xA1\x49"));
    ASSERT_EQ(CTextTable::Big5(Text::ReplySyst).back(), ' ');
}

TEST(Big5Text, FormatKeepsTemplateBlanks)
{
    ASSERT_EQ(CTextTable::Format(Text::ReplyRest, 5368709120LL), CBig5Text::FromUtf8("350 續傳點： 5368709120."));
    ASSERT_EQ(CTextTable::Format(Text::ReplyPasv, "127,0,0,1", 4, 1), CBig5Text::FromUtf8("227 進入被動模式 (127,0,0,1,4,1)"));
}

namespace {

template <typename... Arguments>
constexpr bool Fits(Text text)
{
    return ConversionsMatch(kUtf8Texts[static_cast<size_t>(text)], {kConversionOf<Arguments>...});
}

// What keeps a call with the wrong arguments from compiling.
static_assert(Fits<long long>(Text::ReplyRest));
static_assert(!Fits<int>(Text::ReplyRest));
static_assert(!Fits<unsigned>(Text::CaptionConnected));
static_assert(!Fits<const char*, int>(Text::ReplyPasv));
static_assert(!Fits<int>(Text::Greeting));
static_assert(ConversionsMatch("100%% %d", {kConversionOf<int>}));

} // namespace

TEST(Big5Text, UpperCaseSkipsTrailBytes)
{
    // 兀 is A4 61: its trail byte is "a" and must not become "A".
    ASSERT_EQ(CBig5Text::ToUpperAscii("ab\xA4\x61z"), std::string("AB\xA4\x61Z"));
    ASSERT_EQ(CBig5Text::ToLowerAscii("AB\xA4\x61Z"), std::string("ab\xA4\x61z"));
}

TEST(Big5Text, FindNeverMatchesTrailByte)
{
    // 許 is B3 5C: its trail byte is a backslash.
    const std::string text("a\xB3\x5C\\b");
    ASSERT_EQ(CBig5Text::Find(text, '\\'), 3);
    ASSERT_TRUE(!CBig5Text::EndsWith("x\xB3\x5C", '\\'));
    ASSERT_TRUE(CBig5Text::EndsWith("x\xB3\x5C\\", '\\'));
}

TEST(Big5Text, InvalidBytesAreRejected)
{
    std::string utf8;
    ASSERT_TRUE(CBig5Text::ToUtf8("\xB3\x5C", utf8));
    ASSERT_EQ(utf8, std::string("\xE8\xA8\xB1")); // 許
    ASSERT_TRUE(!CBig5Text::ToUtf8("\xFF\xFF", utf8));
    ASSERT_TRUE(!CBig5Text::ToUtf8("ab\xA4", utf8));
}

TEST(Big5Text, UnencodableCharactersBecomeQuestionMarks)
{
    // Names on disk need not be valid UTF-8; a bad byte must not take the
    // characters after it along.
    const struct {
        const char* name;
        std::string_view utf8;
        std::string_view big5;
    } rows[] = {
        {"outside code page 950", "a\xF0\x9F\x98\x80" "b\xC3\xA9", "a?b?"},
        {"bytes that start nothing", "\xFF\xFE.bin", "??.bin"},
        {"stray continuation byte", "a\x80" "bc", "a?bc"},
        {"sequence cut short", "\xE5\xA0.txt", "?.txt"},
        {"sequence cut at the end", "ab\xF0\x9F\x98", "ab?"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CBig5Text::FromUtf8(row.utf8), row.big5);
    }
}
