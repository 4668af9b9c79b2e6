// ByteReader at the edges of its span: short reads give zeros and count as overruns, sub-readers
// never reach past their parent, and every value reads back what ByteWriter wrote.
#include <gtest/gtest.h>

#include "binary/byte_reader.h"
#include "binary/byte_writer.h"

namespace kestrune {
namespace {

TEST(ByteReader, ReadsBackWhatTheWriterWrote) {
    ByteWriter w;
    w.u8(0xAB);
    w.u16be(0x1234);
    w.u32be(0xDEADBEEF);
    w.f32be(-2.5f);
    w.u16le(0xFFFE);
    w.u32le(0x80000001);
    w.f32le(0.125f);
    ByteReader r(w.bytes);
    EXPECT_EQ(r.u8(), 0xAB);
    EXPECT_EQ(r.u16be(), 0x1234);
    EXPECT_EQ(r.u32be(), 0xDEADBEEFu);
    EXPECT_EQ(r.f32be(), -2.5f);
    EXPECT_EQ(r.i16le(), -2);
    EXPECT_EQ(r.i32le(), -2147483647);
    EXPECT_EQ(r.f32le(), 0.125f);
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_FALSE(r.overrun());
}

TEST(ByteReader, NothingPastTheEndIsRead) {
    const uint8_t bytes[] = {1, 2, 3, 'a', 'b', 0, 'c', 'd', 0xFF};
    ByteReader r(bytes, 6);

    ByteReader chunk = r.take(2); // a sub-reader sees only its own bytes
    EXPECT_EQ(chunk.u16le(), 0x0201);
    EXPECT_EQ(chunk.u8(), 0);
    EXPECT_TRUE(chunk.overrun());
    EXPECT_FALSE(r.overrun());

    EXPECT_EQ(r.at(3).cString(), "ab"); // at() leaves the reader where it was
    EXPECT_EQ(r.position(), 2u);
    ByteReader beyond = r.at(7);
    EXPECT_EQ(beyond.size(), 0u);
    EXPECT_TRUE(beyond.overrun());

    r.skip(1);
    EXPECT_EQ(r.cString(), "ab");
    EXPECT_FALSE(r.overrun());
    // The span ends before "cd" and its NUL: the string stops at the span, which is an overrun.
    ByteReader unterminated(bytes + 6, 2);
    EXPECT_EQ(unterminated.cString(), "cd");
    EXPECT_TRUE(unterminated.overrun());

    ByteReader tail(bytes, 4);
    EXPECT_EQ(tail.bytes(9).size(), 4u); // a long request is cut to the span
    EXPECT_TRUE(tail.overrun());
    EXPECT_EQ(tail.u32be(), 0u);

    // A value cut by the end keeps the bytes that are there, the rest read as zeros; one that
    // just fits is whole and no overrun.
    ByteReader cut(bytes, 3);
    EXPECT_EQ(cut.u32be(), 0x01020300u);
    EXPECT_TRUE(cut.overrun());
    ByteReader cutLittle(bytes, 3);
    EXPECT_EQ(cutLittle.u32le(), 0x030201u);
    ByteReader fits(bytes, 4);
    EXPECT_EQ(fits.u32le(), 0x61030201u);
    EXPECT_FALSE(fits.overrun());
}

} // namespace
} // namespace kestrune
