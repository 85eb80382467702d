// SPDX-License-Identifier: GPL-3.0-or-later
// The objects the host lends a plug-in, on their own.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "HostContext.h"
#include "MemoryStream.h"
#include "ParameterChanges.h"
#include "Plugin.h"
#include "Strings.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace lagwell::host {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(MemoryStreamTest, ReadsBackWhatWasWrittenAndStopsAtTheEnd) {
    MemoryStream stream;
    char text[] = "0123456789";
    int32 done = -1;
    ASSERT_EQ(stream.write(text, 10, &done), kResultOk);
    EXPECT_EQ(done, 10);
    int64 pos = -1;
    ASSERT_EQ(stream.seek(-4, IBStream::kIBSeekEnd, &pos), kResultOk);
    EXPECT_EQ(pos, 6);
    char got[8] = {};
    ASSERT_EQ(stream.read(got, 8, &done), kResultOk);
    EXPECT_EQ(done, 4);
    EXPECT_EQ(std::string(got, 4), "6789");
    ASSERT_EQ(stream.read(got, 8, &done), kResultOk);
    EXPECT_EQ(done, 0);
    ASSERT_EQ(stream.seek(2, IBStream::kIBSeekSet, nullptr), kResultOk);
    ASSERT_EQ(stream.seek(3, IBStream::kIBSeekCur, nullptr), kResultOk);
    ASSERT_EQ(stream.tell(&pos), kResultOk);
    EXPECT_EQ(pos, 5);
}

TEST(MemoryStreamTest, WritingPastTheEndLeavesZerosInTheGap) {
    MemoryStream stream(std::vector<uint8_t>{1, 2});
    ASSERT_EQ(stream.seek(4, IBStream::kIBSeekSet, nullptr), kResultOk);
    uint8_t byte = 9;
    ASSERT_EQ(stream.write(&byte, 1, nullptr), kResultOk);
    EXPECT_EQ(stream.bytes(), (std::vector<uint8_t>{1, 2, 0, 0, 9}));
}

TEST(MemoryStreamTest, RefusesBadSeeksAndKeepsItsPlace) {
    MemoryStream stream(std::vector<uint8_t>(8));
    ASSERT_EQ(stream.seek(3, IBStream::kIBSeekSet, nullptr), kResultOk);
    EXPECT_EQ(stream.seek(-4, IBStream::kIBSeekCur, nullptr), kInvalidArgument);
    EXPECT_EQ(stream.seek(0, 7, nullptr), kInvalidArgument);
    EXPECT_EQ(stream.seek(std::numeric_limits<int64>::min(), IBStream::kIBSeekEnd, nullptr), kInvalidArgument);
    EXPECT_EQ(stream.position(), 3);
    char buffer[1];
    EXPECT_EQ(stream.read(buffer, -1, nullptr), kInvalidArgument);
    EXPECT_EQ(stream.write(nullptr, 1, nullptr), kInvalidArgument);
}

TEST(MemoryStreamTest, AnswersForItsInterfacesOnly) {
    MemoryStream stream;
    void* obj = nullptr;
    EXPECT_EQ(stream.queryInterface(IBStream::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IBStream*>(&stream));
    EXPECT_EQ(stream.queryInterface(FUnknown::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<FUnknown*>(&stream));
    EXPECT_EQ(stream.queryInterface(IParameterChanges::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
}

TEST(ParameterChangesTest, QueuesKeepTheirPointsInOrder) {
    ParamValueQueue queue(7);
    int32 index = -1;
    ASSERT_EQ(queue.addPoint(64, 0.5, index), kResultOk);
    ASSERT_EQ(queue.addPoint(16, 0.25, index), kResultOk);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(queue.addPoint(64, 0.75, index), kResultOk);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(queue.addPoint(-1, 0.1, index), kInvalidArgument);
    ASSERT_EQ(queue.getPointCount(), 2);
    int32 offset;
    ParamValue value;
    ASSERT_EQ(queue.getPoint(0, offset, value), kResultOk);
    EXPECT_EQ(offset, 16);
    EXPECT_EQ(value, 0.25);
    ASSERT_EQ(queue.getPoint(1, offset, value), kResultOk);
    EXPECT_EQ(offset, 64);
    EXPECT_EQ(value, 0.75);
    EXPECT_EQ(queue.getPoint(2, offset, value), kInvalidArgument);
    EXPECT_EQ(queue.getPoint(-1, offset, value), kInvalidArgument);
}

TEST(ParameterChangesTest, OneQueuePerParameter) {
    ParameterChanges changes;
    int32 first = -1, again = -1, other = -1;
    IParamValueQueue* a = changes.addParameterData(3, first);
    IParamValueQueue* b = changes.addParameterData(9, other);
    EXPECT_EQ(changes.addParameterData(3, again), a);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(again, 0);
    EXPECT_EQ(other, 1);
    EXPECT_EQ(changes.getParameterData(1), b);
    EXPECT_EQ(changes.getParameterData(2), nullptr);
    EXPECT_EQ(changes.getParameterData(-1), nullptr);

    changes.add(9, 5, 0.5);
    ASSERT_NE(changes.find(9), nullptr);
    EXPECT_EQ(changes.find(9)->getPointCount(), 1);
    EXPECT_EQ(changes.find(4), nullptr);
    EXPECT_EQ(changes.getParameterCount(), 2);
}

TEST(HostContextTest, MakesMessagesWithAttributes) {
    HostApplication host("Test host");
    String128 name;
    ASSERT_EQ(host.getName(name), kResultOk);
    EXPECT_EQ(toUtf8(name), "Test host");

    IMessage* message = nullptr;
    TUID messageId, attributesId;
    std::memcpy(messageId, IMessage::iid, sizeof(TUID));
    ASSERT_EQ(host.createInstance(messageId, messageId, reinterpret_cast<void**>(&message)), kResultOk);
    ASSERT_NE(message, nullptr);
    message->setMessageID("hello");
    EXPECT_STREQ(message->getMessageID(), "hello");
    IAttributeList* attributes = message->getAttributes();
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(attributes->setInt("n", -5), kResultOk);
    EXPECT_EQ(attributes->setFloat("x", 0.25), kResultOk);
    const std::u16string text = toUtf16("Größe");
    EXPECT_EQ(attributes->setString("s", text.c_str()), kResultOk);
    const char blob[] = {1, 0, 2};
    EXPECT_EQ(attributes->setBinary("b", blob, 3), kResultOk);

    int64 n = 0;
    double x = 0;
    EXPECT_EQ(attributes->getInt("n", n), kResultOk);
    EXPECT_EQ(n, -5);
    EXPECT_EQ(attributes->getFloat("x", x), kResultOk);
    EXPECT_EQ(x, 0.25);
    EXPECT_EQ(attributes->getFloat("n", x), kResultFalse) << "an integer is not a float";
    EXPECT_EQ(attributes->getInt("missing", n), kResultFalse);
    TChar full[16], cut[3];
    EXPECT_EQ(attributes->getString("s", full, sizeof full), kResultOk);
    EXPECT_EQ(toUtf8(full), "Größe");
    EXPECT_EQ(attributes->getString("s", cut, sizeof cut), kResultOk);
    EXPECT_EQ(toUtf8(cut), "Gr");
    const void* data = nullptr;
    uint32 size = 0;
    EXPECT_EQ(attributes->getBinary("b", data, size), kResultOk);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(data, blob, 3), 0);
    message->release();

    void* obj = reinterpret_cast<void*>(1);
    std::memcpy(attributesId, IBStream::iid, sizeof(TUID));
    EXPECT_EQ(host.createInstance(attributesId, attributesId, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
}

TEST(StringsTest, ConvertsBetweenUtf8AndUtf16) {
    const std::string text = "Delay \xC2\xB5s \xF0\x9F\x8E\x9B";  // "µs" and a character beyond 16 bits
    const std::u16string wide = toUtf16(text);
    EXPECT_EQ(wide.size(), 11u);
    EXPECT_EQ(toUtf8(wide.c_str()), text);
    EXPECT_EQ(toUtf16("a\xFF"
                      "b"),
              u"a\uFFFDb");
    EXPECT_EQ(toUtf16("\xE2\x82"), u"\uFFFD") << "a cut sequence";
    EXPECT_EQ(toUtf16("\xC0\xAF"), u"\uFFFD") << "an overlong form";
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(toUtf8(lone),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(StringsTest, CopiesIntoFixedArraysWithoutSplittingPairs) {
    TChar out[9];
    copyUtf16("Delay \xF0\x9F\x8E\x9B", out, 9);
    EXPECT_EQ(toUtf8(out), "Delay \xF0\x9F\x8E\x9B");
    copyUtf16("Delays \xF0\x9F\x8E\x9B", out, 9);
    EXPECT_EQ(toUtf8(out), "Delays ") << "the pair does not fit and is left out whole";
    String128 name;
    copyUtf16(std::string(300, 'x'), name);
    EXPECT_EQ(toUtf8(name).size(), 127u);
}

TEST(ArrangementTest, GivesTheChannelCountsAsked) {
    for (int n = 0; n <= 8; ++n) EXPECT_EQ(SpeakerArr::getChannelCount(arrangementFor(n)), n) << n << " channels";
    EXPECT_EQ(arrangementFor(2), SpeakerArr::kStereo);
    EXPECT_THROW(arrangementFor(9), HostError);
    EXPECT_THROW(arrangementFor(-1), HostError);
}

}  // namespace
}  // namespace lagwell::host
