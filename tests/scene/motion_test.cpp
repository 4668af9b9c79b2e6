// Motion evaluation: Hermite and linear segments, end behaviours, degenerate keys; orientation.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/motion.h"
#include "scene/motion_reader.h"

namespace kestrune {
namespace {

struct KeyPlan {
    int frame;
    float value;
    int linear = 0;
    float tension = 0, continuity = 0, bias = 0;
};

Motion makeMotion(std::initializer_list<KeyPlan> plans, int endBehavior = 1, int channels = 1) {
    Motion motion;
    allocateKeys(motion, static_cast<int>(plans.size()));
    motion.channelCount = channels;
    motion.endBehavior = endBehavior;
    int i = 0;
    for (const KeyPlan& plan : plans) {
        MotionKey& key = motion.keys[static_cast<size_t>(i++)];
        for (int c = 0; c < channels; ++c) key.values[c] = plan.value * static_cast<float>(c + 1);
        key.frame = plan.frame;
        key.linear = plan.linear;
        key.tension = plan.tension;
        key.continuity = plan.continuity;
        key.bias = plan.bias;
        motion.lastKeyFrame = plan.frame;
    }
    return motion;
}

float at(Motion& motion, float frame) {
    evaluateMotion(motion, frame);
    return motion.values[0];
}

TEST(MotionEvaluation, HermiteAtDefaultsIsTheMidpoint) {
    const HermiteWeights h = hermiteBasis(0.5f);
    EXPECT_FLOAT_EQ(0.5f, h.h1);
    EXPECT_FLOAT_EQ(0.5f, h.h2);
    EXPECT_FLOAT_EQ(0.125f, h.h3);
    EXPECT_FLOAT_EQ(-0.125f, h.h4);
    Motion motion = makeMotion({{0, 0}, {10, 10}});
    EXPECT_FLOAT_EQ(5.0f, at(motion, 5));
    // With T_out = T_in = 10 the curve is the straight line.
    EXPECT_FLOAT_EQ(2.5f, at(motion, 2.5f));
}

TEST(MotionEvaluation, LinearKeyAndAllChannels) {
    Motion motion = makeMotion({{0, 0}, {10, 10, 1}}, 1, 9);
    evaluateMotion(motion, 2.5f);
    for (int c = 0; c < 9; ++c) EXPECT_FLOAT_EQ(2.5f * static_cast<float>(c + 1), motion.values[c]);
}

TEST(MotionEvaluation, FullTensionGivesZeroTangents) {
    Motion motion = makeMotion({{0, 0, 0, 1}, {10, 10, 0, 1}});
    const HermiteWeights h = hermiteBasis(0.3f);
    EXPECT_FLOAT_EQ(h.h2 * 10, at(motion, 3));
}

TEST(MotionEvaluation, NeighboursShapeTheTangents) {
    // Keys 0:0, 10:10, 20:0 at defaults; frame 5 of segment 0..10, incoming tangent at key 1
    // = (gamma*10 + delta*(0 - 10)) * r1 = 0, outgoing at key 0 = 0.5*2*10 = 10.
    Motion motion = makeMotion({{0, 0}, {10, 10}, {20, 0}});
    const HermiteWeights h = hermiteBasis(0.5f);
    EXPECT_FLOAT_EQ(h.h2 * 10 + h.h3 * 10, at(motion, 5));
    // Second segment: outgoing at key 1 uses the previous key with r0 = 10 / 20.
    EXPECT_FLOAT_EQ(h.h1 * 10 + h.h4 * -10, at(motion, 15));
}

TEST(MotionEvaluation, TensionContinuityAndBiasWeightTheTangents) {
    // Segment 10..20 with neighbours at 0 and 40, frame 14 (t = 0.4). Key 10: T 0.2, C 0.5,
    // B -0.3 gives alpha 0.84, beta 0.52; key 20: T -0.4, C -0.2, B 0.6 gives gamma 2.688,
    // delta 0.448. r0 = 10/20, r1 = 10/30; out = (0.52*-6 + 0.84*10)*0.5 = 2.64,
    // in = (2.688*-6 + 0.448*5)/3; value = 0.648*10 + 0.352*4 + 0.144*out - 0.096*in.
    // Swapping alpha and beta (or gamma and delta) moves the value by more than 0.1.
    Motion motion = makeMotion(
        {{0, 0}, {10, 10, 0, 0.2f, 0.5f, -0.3f}, {20, 4, 0, -0.4f, -0.2f, 0.6f}, {40, 9}});
    EXPECT_NEAR(8.712576f, at(motion, 14), 2e-5f);
}

TEST(MotionEvaluation, EndBehaviours) {
    for (int behaviour = 0; behaviour <= 2; ++behaviour) {
        Motion motion = makeMotion({{0, 1}, {100, 7}}, behaviour);
        EXPECT_FLOAT_EQ(7.0f, at(motion, 100)) << behaviour; // the last key's own frame
    }
    Motion first = makeMotion({{0, 1}, {100, 7}}, 0);
    EXPECT_FLOAT_EQ(1.0f, at(first, 100.5f));
    Motion last = makeMotion({{0, 1}, {100, 7}}, 1);
    EXPECT_FLOAT_EQ(7.0f, at(last, 1e9f));
    Motion repeat = makeMotion({{0, 0}, {100, 100, 1}}, 2);
    EXPECT_FLOAT_EQ(50.0f, at(repeat, 250.7f)); // the fraction is lost
    EXPECT_FLOAT_EQ(0.0f, at(repeat, 300));
    // Beyond the int range the remainder is still exact: 1e30f is 1000000015047466219876688855040.
    EXPECT_FLOAT_EQ(40.0f, at(repeat, 1e30f));
}

TEST(MotionEvaluation, OneKeyHoldsEverywhere) {
    Motion motion = makeMotion({{20, 3}}, 0);
    EXPECT_EQ(3.0f, at(motion, -100));
    EXPECT_EQ(3.0f, at(motion, 1000));
}

TEST(MotionEvaluation, BeforeTheFirstKeyExtrapolates) {
    Motion motion = makeMotion({{10, 0}, {20, 10, 1}});
    EXPECT_FLOAT_EQ(-10.0f, at(motion, 0)); // t = -1
}

TEST(MotionEvaluation, UndefinedCasesHaveDefinedResults) {
    Motion none;
    none.channelCount = 9;
    none.values[4] = 12;
    evaluateMotion(none, 5);
    for (float v : none.values) EXPECT_EQ(0.0f, v);

    // An unknown end behaviour holds the last key; so does a repeat over lastKeyFrame 0.
    Motion odd = makeMotion({{0, 1}, {10, 4}}, 7);
    EXPECT_EQ(4.0f, at(odd, 50));
    Motion flat = makeMotion({{-10, 1}, {0, 4}}, 2);
    EXPECT_EQ(4.0f, at(flat, 50));

    // Equal and decreasing frames: no division by zero, no search past the last key.
    Motion same = makeMotion({{5, 1}, {5, 9}});
    EXPECT_FLOAT_EQ(9.0f, at(same, 5));
    EXPECT_TRUE(std::isfinite(at(same, 2)));
    Motion backwards = makeMotion({{10, 1}, {5, 2}, {0, 3}, {20, 4}});
    backwards.lastKeyFrame = 0; // as the reader would record the unordered last-read key
    for (float f : {-5.0f, 0.0f, 3.0f, 7.0f, 12.0f})
        EXPECT_TRUE(std::isfinite(at(backwards, f))) << f;
    Motion clash = makeMotion({{0, 0}, {10, 1}, {10, 2}, {10, 3}});
    for (float f : {0.0f, 5.0f, 10.0f}) EXPECT_TRUE(std::isfinite(at(clash, f))) << f;
}

TEST(MotionEvaluation, CopiesKeepTheirOwnKeyLinks) {
    Motion original = makeMotion({{0, 0}, {10, 10}, {20, 0}});
    Motion copy = original;
    ASSERT_EQ(3u, copy.keys.size());
    EXPECT_EQ(&copy.keys[0], copy.keys[1].prev);
    EXPECT_EQ(&copy.keys[2], copy.keys[1].next);
    EXPECT_EQ(nullptr, copy.keys[2].next);
    EXPECT_FLOAT_EQ(at(original, 7), at(copy, 7));
}

TEST(Orientation, MatchesTheElementaryRotations) {
    const float h = 30, p = -50, b = 75;
    const float rh = h * degreesToRadians, rp = p * degreesToRadians, rb = b * degreesToRadians;
    const Mat3 ry{{{std::cos(rh), 0, std::sin(rh)}, {0, 1, 0}, {-std::sin(rh), 0, std::cos(rh)}}};
    const Mat3 rx{{{1, 0, 0}, {0, std::cos(rp), -std::sin(rp)}, {0, std::sin(rp), std::cos(rp)}}};
    const Mat3 rz{{{std::cos(rb), -std::sin(rb), 0}, {std::sin(rb), std::cos(rb), 0}, {0, 0, 1}}};
    const Mat3 expected = multiply(multiply(ry, rx), rz);
    const Mat3 o = orientation(h, p, b);
    const Mat3 ot = orientationTranspose(h, p, b);
    const Mat3 product = multiply(o, ot);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(expected.m[i][j], o.m[i][j], 1e-6f);
            EXPECT_EQ(o.m[i][j], ot.m[j][i]);
            EXPECT_NEAR(i == j ? 1.0f : 0.0f, product.m[i][j], 1e-6f);
        }
    // Heading 90 turns +z towards +x.
    const Vec3 v = transform(orientation(90, 0, 0), Vec3{0, 0, 1});
    EXPECT_NEAR(1.0f, v.x, 1e-6f);
    EXPECT_NEAR(0.0f, v.z, 1e-5f); // degreesToRadians is a little below pi/180
    EXPECT_EQ(0.01745328f, degreesToRadians);
}

Motion readBlock(const char* text, void (*read)(TokenReader&, Motion&) = readMotion) {
    TokenReader reader{text, 0};
    Motion motion;
    read(reader, motion);
    return motion;
}

TEST(MotionBlocks, ReadsKeysAndEndBehavior) {
    Motion m = readBlock("2 2\n 1 2 0 0 0.5 -0.5 0.25\n 3 4 10 1 0 0 0\nLockedChannels 3\n"
                         "EndBehavior 2\n");
    EXPECT_EQ(2, m.channelCount);
    ASSERT_EQ(2, m.keyCount);
    EXPECT_EQ(10, m.lastKeyFrame);
    EXPECT_EQ(2, m.endBehavior);
    EXPECT_EQ(2.0f, m.keys[0].values[1]);
    EXPECT_EQ(0.5f, m.keys[0].tension);
    EXPECT_EQ(-0.5f, m.keys[0].continuity);
    EXPECT_EQ(0.25f, m.keys[0].bias);
    EXPECT_EQ(1, m.keys[1].linear);
}

TEST(MotionBlocks, ExtraChannelsAreReadAndDropped) {
    Motion m = readBlock("11 1 1 2 3 4 5 6 7 8 9 10 11 5 0 0 0 0 EndBehavior 1");
    EXPECT_EQ(9, m.channelCount);
    ASSERT_EQ(1, m.keyCount);
    EXPECT_EQ(9.0f, m.keys[0].values[8]);
    EXPECT_EQ(5, m.keys[0].frame);
    EXPECT_EQ(1, m.endBehavior);
}

TEST(MotionBlocks, ImpossibleCountsLeaveNoKeys) {
    EXPECT_EQ(0, readBlock("9 -3 EndBehavior 1").keyCount);
    EXPECT_EQ(0, readBlock("-2 1 0 0 0 0 0 EndBehavior 1").keyCount);
    EXPECT_EQ(0, readBlock("9 2000000000 1 2 3").keyCount); // more than the text can hold
    EXPECT_EQ(0, readBlock("2147483647 2147483647 1").keyCount);
    EXPECT_EQ(0, readBlock("").keyCount);
}

TEST(MotionBlocks, MissingEndBehaviorSearchesOn) {
    TokenReader reader{"1 1 4 0 0 0 0 0 AddLight LightType 2 EndBehavior 1 tail", 0};
    Motion m;
    m.endBehavior = 2;
    readMotion(reader, m);
    EXPECT_EQ(1, m.endBehavior);
    std::string_view token;
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("tail", token);
}

TEST(Envelopes, ConstantsAndBlocks) {
    Motion constant = readBlock("3.2 RenderMode", readEnvelope);
    ASSERT_EQ(1, constant.keyCount);
    EXPECT_EQ(1, constant.channelCount);
    EXPECT_EQ(3.2f, at(constant, 40));

    Motion broken = readBlock("abc", readEnvelope);
    ASSERT_EQ(1, broken.keyCount);
    EXPECT_EQ(0.0f, at(broken, 0));

    Motion block = readBlock("(envelope) 1 2 0 0 0 0 0 0 1 10 1 0 0 0 EndBehavior 1", readEnvelope);
    ASSERT_EQ(2, block.keyCount);
    EXPECT_FLOAT_EQ(0.5f, at(block, 5));
}

} // namespace
} // namespace kestrune
