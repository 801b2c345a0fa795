#include "public.sdk/source/vst/utility/stringconvert.h"

#include <gtest/gtest.h>

namespace
{

using namespace VST3::StringConvert;
using Steinberg::Vst::String128;
using Steinberg::Vst::TChar;

const std::string replacement = "\xEF\xBF\xBD";

TEST (Utf8ToUtf16, ConvertsAsciiBmpAndAstralCharacters)
{
	EXPECT_EQ (convert (std::string ("Gain")), u"Gain");
	EXPECT_EQ (convert (std::string ("\xC3\xA9\xE2\x82\xAC")), u"\u00E9\u20AC");
	// U+1F3B5 needs a surrogate pair.
	EXPECT_EQ (convert (std::string ("\xF0\x9F\x8E\xB5")), std::u16string ({0xD83C, 0xDFB5}));
	EXPECT_EQ (convert (std::string ()), u"");
}

TEST (Utf8ToUtf16, ReplacesEachInvalidSequenceAndResumesAfterIt)
{
	EXPECT_EQ (convert (std::string ("a\xFF"
									 "b")),
			   u"a\uFFFDb");
	// A lead byte cut short by an ASCII byte: the ASCII byte survives.
	EXPECT_EQ (convert (std::string ("\xE2\x82"
									 "x")),
			   u"\uFFFDx");
	// Truncated at the end of the text.
	EXPECT_EQ (convert (std::string ("x\xF0\x9F\x8E")), u"x\uFFFD");
	// Overlong encoding, encoded surrogate and a code point above U+10FFFF.
	EXPECT_EQ (convert (std::string ("\xC0\xAF")), u"\uFFFD\uFFFD");
	EXPECT_EQ (convert (std::string ("\xED\xA0\x80")), u"\uFFFD\uFFFD\uFFFD");
	EXPECT_EQ (convert (std::string ("\xF4\x90\x80\x80")), u"\uFFFD\uFFFD\uFFFD\uFFFD");
	// A stray continuation byte.
	EXPECT_EQ (convert (std::string ("\x80")), u"\uFFFD");
}

TEST (Utf16ToUtf8, ConvertsAsciiBmpAndSurrogatePairs)
{
	EXPECT_EQ (convert (std::u16string (u"Gain")), "Gain");
	EXPECT_EQ (convert (std::u16string (u"\u00E9\u20AC")), "\xC3\xA9\xE2\x82\xAC");
	EXPECT_EQ (convert (std::u16string ({0xD83C, 0xDFB5})), "\xF0\x9F\x8E\xB5");
}

TEST (Utf16ToUtf8, ReplacesUnpairedSurrogates)
{
	// A high surrogate followed by a non-surrogate, at the end, and a lone low one.
	EXPECT_EQ (convert (std::u16string ({0xD83C, u'a'})), replacement + "a");
	EXPECT_EQ (convert (std::u16string ({u'a', 0xD83C})), "a" + replacement);
	EXPECT_EQ (convert (std::u16string ({0xDFB5, 0xD83C, 0xDFB5})),
			   replacement + "\xF0\x9F\x8E\xB5");
}

/** A terminated TChar text (char16_t, or wchar_t on Windows) as UTF-16 units. */
std::u16string units (const TChar* text)
{
	std::u16string result;
	for (; *text != 0; ++text)
		result.push_back (static_cast<char16_t> (*text));
	return result;
}

TEST (Utf16PointerToUtf8, StopsAtTheTerminatorAndTreatsNullAsEmpty)
{
	const TChar text[] = STR16 ("Ratio\0ignored");
	const TChar* pointer = text;
	EXPECT_EQ (convert (pointer), "Ratio");
	EXPECT_EQ (convert (static_cast<const TChar*> (nullptr)), "");
	TChar* mutablePointer = nullptr;
	EXPECT_EQ (convert (mutablePointer), "");
}

TEST (Utf16PointerToUtf8, BoundedReadStopsAtMaxOrTerminator)
{
	const TChar text[] = STR16 ("Threshold");
	EXPECT_EQ (convert (text, 6), "Thresh");
	EXPECT_EQ (convert (text, 100), "Threshold");
	EXPECT_EQ (convert (text, 0), "");
}

TEST (Utf16ArrayToUtf8, FullArrayWithoutTerminatorStopsAtItsEnd)
{
	// The array sits in a larger, terminated buffer: reading past its end
	// would pick up "XYZ".
	struct
	{
		TChar title[4];
		TChar after[4];
	} record{{u'A', u'B', u'C', u'D'}, {u'X', u'Y', u'Z', 0}};
	EXPECT_EQ (convert (record.title), "ABCD");

	String128 name{};
	name[0] = u'Z';
	name[1] = u'a';
	name[2] = u'm';
	EXPECT_EQ (convert (name), "Zam");
}

TEST (Utf8ToUtf16Buffer, WritesTerminatedTextThatFits)
{
	String128 buffer;
	EXPECT_TRUE (convert (std::string ("Attack \xC3\xA9"), buffer, 128));
	EXPECT_EQ (units (buffer), u"Attack \u00E9");
}

TEST (Utf8ToUtf16Buffer, TruncatesTerminatedAndReportsTheCut)
{
	TChar buffer[4];
	EXPECT_FALSE (convert (std::string ("Release"), buffer, 4));
	EXPECT_EQ (units (buffer), u"Rel");

	// Exactly fitting text plus terminator is not a cut.
	EXPECT_TRUE (convert (std::string ("Rel"), buffer, 4));
	EXPECT_EQ (units (buffer), u"Rel");
}

TEST (Utf8ToUtf16Buffer, NeverSplitsASurrogatePairOrWritesWithoutRoom)
{
	TChar buffer[3] = {u'x', u'x', u'x'};
	// "a" + U+1F3B5: the pair does not fit after "a", so only "a" is kept.
	EXPECT_FALSE (convert (std::string ("a\xF0\x9F\x8E\xB5"), buffer, 3));
	EXPECT_EQ (units (buffer), u"a");

	TChar untouched = u'x';
	EXPECT_FALSE (convert (std::string ("a"), &untouched, 0));
	EXPECT_EQ (untouched, u'x');
	EXPECT_FALSE (convert (std::string ("a"), nullptr, 10));
}

} // namespace
