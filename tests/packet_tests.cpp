// Frame format and result texts: exact bytes and checksums, classification, message texts.
#include <gtest/gtest.h>

#include "link/packet.h"
#include "link/result_codes.h"

#include <string.h>

TEST(FrameChecksum, MakesTheWholeFrameSumToZero)
{
    const uint8_t stop[] = {0x04, 0x05, 0x12, 0x02};
    EXPECT_EQ(0xE3, FrameChecksum(stop, 4));
    const uint8_t panLeft[] = {0x06, 0x05, 0x12, 0x01, 0x02, 0x00};
    EXPECT_EQ(0xE0, FrameChecksum(panLeft, 6));
    const uint8_t speed[] = {0x07, 0x05, 0x12, 0x03, 0x02, 0x46, 0x46};
    EXPECT_EQ(0x51, FrameChecksum(speed, 7));
}

TEST(FrameChecksum, AcknowledgementFramesAreExact)
{
    const uint8_t ack[] = {0x03, 0x88, 0x00, 0x75};
    const uint8_t nak[] = {0x03, 0x88, 0x10, 0x65};
    EXPECT_EQ(0, memcmp(ack, ACK_FRAME, 4));
    EXPECT_EQ(0, memcmp(nak, CHECKSUM_NAK_FRAME, 4));
    EXPECT_TRUE(FrameSumIsZero(ACK_FRAME));
    EXPECT_TRUE(FrameSumIsZero(CHECKSUM_NAK_FRAME));
    const uint8_t bad[] = {0x04, 0x05, 0x12, 0x02, 0xE4};
    EXPECT_FALSE(FrameSumIsZero(bad));
}

TEST(FrameLength, OnlyThreeToThirtyTwoStartAFrame)
{
    EXPECT_FALSE(IsLengthByte(2));
    EXPECT_TRUE(IsLengthByte(3));
    EXPECT_TRUE(IsLengthByte(32));
    EXPECT_FALSE(IsLengthByte(33));
    EXPECT_FALSE(IsLengthByte(0));
    EXPECT_FALSE(IsLengthByte(0xFF));
}

TEST(FrameClassification, AckNakEventReplyInThatOrder)
{
    const uint8_t ack[] = {0x03, 0x88, 0x00, 0x75};
    const uint8_t nak[] = {0x03, 0x88, 0x01, 0x74};
    const uint8_t ackWithEventBits[] = {0x03, 0x88, 0x20, 0x55};
    const uint8_t event[] = {0x05, 0x05, 0xB8, 0x01, 0x41, 0x00};
    const uint8_t reply[] = {0x04, 0x05, 0x92, 0x02, 0x63};
    EXPECT_EQ(FRAME_ACK, ClassifyFrame(ack));
    EXPECT_EQ(FRAME_NAK, ClassifyFrame(nak));
    EXPECT_EQ(FRAME_NAK, ClassifyFrame(ackWithEventBits));
    EXPECT_EQ(FRAME_EVENT, ClassifyFrame(event));
    EXPECT_EQ(FRAME_REPLY, ClassifyFrame(reply));
}

TEST(FrameMatching, IgnoresTheFlagBitsOfDeviceAndCommand)
{
    const uint8_t request[] = {0x04, 0x05, 0x12, 0x02, 0xE3};
    const uint8_t flagged[] = {0x04, 0x15, 0x92, 0x02, 0x00};
    const uint8_t otherCommand[] = {0x04, 0x05, 0x13, 0x02, 0x00};
    const uint8_t otherDevice[] = {0x04, 0x01, 0x12, 0x02, 0x00};
    EXPECT_TRUE(FrameAnswersRequest(flagged, request));
    EXPECT_FALSE(FrameAnswersRequest(otherCommand, request));
    EXPECT_FALSE(FrameAnswersRequest(otherDevice, request));
    EXPECT_EQ(5, FrameDevice(flagged));
    EXPECT_EQ(0x12, FrameCommand(flagged));
}

TEST(BigEndian, SixteenBitValuesGoMostSignificantFirst)
{
    uint8_t bytes[2];
    WriteBigEndian16(bytes, 0x1234);
    EXPECT_EQ(0x12, bytes[0]);
    EXPECT_EQ(0x34, bytes[1]);
    EXPECT_EQ(0x1234, ReadBigEndian16(bytes));
}

static std::string MessageFor(ResultCode code, ResultCode lastResult)
{
    char text[RESULT_TEXT_SIZE];
    FormatResultMessage(code, lastResult, text, sizeof text);
    return text;
}

TEST(ResultMessages, EveryCodeHasItsText)
{
    EXPECT_EQ("Error initializing driver parameters", MessageFor(-1, 0));
    EXPECT_EQ("Error initializing communications", MessageFor(-2, 0));
    EXPECT_EQ("Error setting driver parameters", MessageFor(-3, 0));
    EXPECT_EQ("Driver parameter error", MessageFor(-4, 0));
    EXPECT_EQ("Out of memory", MessageFor(-5, 0));
    EXPECT_EQ("NAK response received", MessageFor(-6, 0));
    EXPECT_EQ("Invalid response length", MessageFor(-7, 0));
    EXPECT_EQ("HL-R8 is not connected", MessageFor(-8, 0));
    EXPECT_EQ("HL-R8 is not responding\n", MessageFor(-9, 0));
    EXPECT_EQ("Receive character I/O error", MessageFor(-10, 0));
    EXPECT_EQ("Send character I/O error", MessageFor(-11, 0));
}

TEST(ResultMessages, UnknownCodesShowTheDriversLastResult)
{
    EXPECT_EQ("Unknown error [-6]", MessageFor(-13, -6));
    EXPECT_EQ("Unknown error [0]", MessageFor(5, 0));
    EXPECT_EQ("Unknown driver error [-9]", MessageFor(-12, -9));
}

TEST(ResultMessages, SuccessShowsNothingAndSmallBuffersStayBounded)
{
    char text[8];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(0, FormatResultMessage(0, 0, text, sizeof text));
    EXPECT_EQ('\0', text[0]);
    char small[6];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(1, FormatResultMessage(-8, 0, small, 5));
    EXPECT_STREQ("HL-R", small);
    EXPECT_EQ('x', small[5]);
}
