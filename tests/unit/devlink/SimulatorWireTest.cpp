#include "devlink/SimulatorWire.h"

#include <gtest/gtest.h>

using namespace devlink::sim;

namespace {

TEST(DevlinkSimulatorWire, RequestsSurviveTheTrip) {
    WireRequest open;
    open.sequence = 0x01020304;
    open.kind = MessageKind::Open;
    open.index = 7;
    WireRequest command;
    command.kind = MessageKind::Command;
    command.text = "press 1 1";
    WireRequest discover;
    for (const WireRequest& request : {open, command, discover}) {
        SCOPED_TRACE(static_cast<int>(request.kind));
        const auto decoded = DecodeRequest(EncodeRequest(request));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(request.sequence, decoded->sequence);
        EXPECT_EQ(request.kind, decoded->kind);
        EXPECT_EQ(request.index, decoded->index);
        EXPECT_EQ(request.text, decoded->text);
    }
}

TEST(DevlinkSimulatorWire, RepliesSurviveTheTrip) {
    WireReply command;
    command.kind = MessageKind::Command;
    command.exitCode = 2;
    command.text = std::string(100000, 'x');
    WireReply discover;
    discover.interfaces = 2;
    WireReply open;
    open.sequence = 9;
    open.kind = MessageKind::Open;
    open.succeeded = true;
    open.serverProcessId = 0x1234;
    open.connection = 77;
    for (const WireReply& reply : {command, discover, open}) {
        SCOPED_TRACE(static_cast<int>(reply.kind));
        const auto decoded = DecodeReply(EncodeReply(reply));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(reply.sequence, decoded->sequence);
        EXPECT_EQ(reply.kind, decoded->kind);
        EXPECT_EQ(reply.interfaces, decoded->interfaces);
        EXPECT_EQ(reply.succeeded, decoded->succeeded);
        EXPECT_EQ(reply.serverProcessId, decoded->serverProcessId);
        EXPECT_EQ(reply.connection, decoded->connection);
        EXPECT_EQ(reply.exitCode, decoded->exitCode);
        EXPECT_EQ(reply.text, decoded->text);
    }
}

TEST(DevlinkSimulatorWire, MalformedMessagesAreRefused) {
    WireRequest open;
    open.kind = MessageKind::Open;
    const std::vector<std::uint8_t> good = EncodeRequest(open);

    std::vector<std::uint8_t> truncated(good.begin(), good.end() - 1);
    std::vector<std::uint8_t> trailing = good;
    trailing.push_back(0);
    std::vector<std::uint8_t> unknownKind = good;
    unknownKind[4] = 9;
    WireRequest longText;
    longText.kind = MessageKind::Command;
    longText.text = std::string(MAX_COMMAND_TEXT + 1, 'a');
    struct Case {
        const char* label;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"no kind", {1, 0, 0, 0}},
        {"truncated", truncated},
        {"trailing byte", trailing},
        {"unknown kind", unknownKind},
        {"command text too long", EncodeRequest(longText)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_FALSE(DecodeRequest(c.bytes));
    }

    WireReply reply;
    reply.kind = MessageKind::Open;
    std::vector<std::uint8_t> shortReply = EncodeReply(reply);
    shortReply.pop_back();
    EXPECT_FALSE(DecodeReply(shortReply));
    std::vector<std::uint8_t> longReply = EncodeReply(reply);
    longReply.push_back(0);
    EXPECT_FALSE(DecodeReply(longReply));
}

} // namespace
