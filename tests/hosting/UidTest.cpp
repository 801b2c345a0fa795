#include "public.sdk/source/vst/utility/uid.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

using VST3::UID;

const char* const sampleText = "0123456789ABCDEF00FF7A4D811C52FE";

TEST (UidText, RoundTripsThroughUpperCaseHexInByteOrder)
{
	auto uid = UID::fromString ("0123456789abcdef00ff7a4d811c52fe");
	ASSERT_TRUE (uid);
	EXPECT_EQ (uid->toString (), sampleText);
	EXPECT_EQ (static_cast<unsigned char> (uid->data ()[0]), 0x01);
	EXPECT_EQ (static_cast<unsigned char> (uid->data ()[15]), 0xFE);
}

TEST (UidText, RejectsWrongLengthAndNonHexDigits)
{
	EXPECT_FALSE (UID::fromString (""));
	EXPECT_FALSE (UID::fromString ("0123456789ABCDEF00FF7A4D811C52F"));
	EXPECT_FALSE (UID::fromString ("0123456789ABCDEF00FF7A4D811C52FE0"));
	EXPECT_FALSE (UID::fromString ("0123456789ABCDEF00FF7A4D811C52FG"));
	EXPECT_FALSE (UID::fromString ("{0123456789ABCDEF00FF7A4D811C52}"));
}

TEST (UidValue, DefaultIsAllZeroAndTuidCopiesAreEqual)
{
	EXPECT_EQ (UID ().toString (), std::string (32, '0'));
	const UID sample = *UID::fromString (sampleText);
	const UID copy = UID::fromTUID (sample.data ());
	EXPECT_TRUE (copy == sample);
	EXPECT_FALSE (copy != sample);
}

TEST (UidValue, OrdersByBytesSoItCanKeyAMap)
{
	const UID low = *UID::fromString ("00000000000000000000000000000001");
	const UID high = *UID::fromString ("80000000000000000000000000000000");
	EXPECT_TRUE (low < high);
	EXPECT_FALSE (high < low);
	EXPECT_FALSE (low < low);

	std::map<UID, int> byID{{high, 2}, {low, 1}};
	EXPECT_EQ (byID.begin ()->second, 1);
	EXPECT_NE (low, high);
}

} // namespace
