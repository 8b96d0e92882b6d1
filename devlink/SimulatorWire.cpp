#include "SimulatorWire.h"

namespace devlink::sim {

namespace {

class Writer {
  public:
    void U8(std::uint8_t value) { m_bytes.push_back(value); }
    void U32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            m_bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    template <typename Range> void Bytes(const Range& range) {
        m_bytes.insert(m_bytes.end(), range.begin(), range.end());
    }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

  private:
    std::vector<std::uint8_t> m_bytes;
};

// Reads fields in order; any read past the end marks the message bad.
class Reader {
  public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}

    std::uint8_t U8() {
        if (!Has(1))
            return 0;
        return m_bytes[m_at++];
    }
    std::uint32_t U32() {
        if (!Has(4))
            return 0;
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8)
            value |= static_cast<std::uint32_t>(m_bytes[m_at++]) << shift;
        return value;
    }
    std::string Rest() {
        std::string out(m_bytes.begin() + m_at, m_bytes.end());
        m_at = m_bytes.size();
        return out;
    }
    std::size_t Remaining() const { return m_bytes.size() - m_at; }
    bool Good() const { return m_good; }
    // The whole message was read, and nothing was missing.
    bool Complete() const { return m_good && m_at == m_bytes.size(); }

  private:
    bool Has(std::size_t count) {
        if (m_bytes.size() - m_at < count)
            m_good = false;
        return m_good;
    }

    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_at = 0;
    bool m_good = true;
};

bool KnownKind(std::uint8_t kind) {
    return kind >= static_cast<std::uint8_t>(MessageKind::Discover) &&
           kind <= static_cast<std::uint8_t>(MessageKind::Command);
}

} // namespace

std::string DeviceObjectName(std::uint32_t serverProcessId, std::uint32_t connection,
                             const char* part) {
    return "QX310.SimulatedKeyboard." + std::to_string(serverProcessId) + "." +
           std::to_string(connection) + "." + part;
}

std::vector<std::uint8_t> EncodeRequest(const WireRequest& request) {
    Writer writer;
    writer.U32(request.sequence);
    writer.U8(static_cast<std::uint8_t>(request.kind));
    switch (request.kind) {
    case MessageKind::Discover:
        break;
    case MessageKind::Open:
        writer.U32(request.index);
        break;
    case MessageKind::Command:
        writer.Bytes(request.text);
        break;
    }
    return writer.Take();
}

std::optional<WireRequest> DecodeRequest(const std::vector<std::uint8_t>& bytes) {
    Reader reader(bytes);
    WireRequest request;
    request.sequence = reader.U32();
    const std::uint8_t kind = reader.U8();
    if (!reader.Good() || !KnownKind(kind))
        return std::nullopt;
    request.kind = static_cast<MessageKind>(kind);
    switch (request.kind) {
    case MessageKind::Discover:
        break;
    case MessageKind::Open:
        request.index = reader.U32();
        break;
    case MessageKind::Command:
        if (reader.Remaining() > MAX_COMMAND_TEXT)
            return std::nullopt;
        request.text = reader.Rest();
        break;
    }
    if (!reader.Complete())
        return std::nullopt;
    return request;
}

std::vector<std::uint8_t> EncodeReply(const WireReply& reply) {
    Writer writer;
    writer.U32(reply.sequence);
    writer.U8(static_cast<std::uint8_t>(reply.kind));
    switch (reply.kind) {
    case MessageKind::Discover:
        writer.U32(reply.interfaces);
        break;
    case MessageKind::Open:
        writer.U8(reply.succeeded ? 1 : 0);
        writer.U32(reply.serverProcessId);
        writer.U32(reply.connection);
        break;
    case MessageKind::Command:
        writer.U32(reply.exitCode);
        writer.Bytes(reply.text);
        break;
    }
    return writer.Take();
}

std::optional<WireReply> DecodeReply(const std::vector<std::uint8_t>& bytes) {
    Reader reader(bytes);
    WireReply reply;
    reply.sequence = reader.U32();
    const std::uint8_t kind = reader.U8();
    if (!reader.Good() || !KnownKind(kind))
        return std::nullopt;
    reply.kind = static_cast<MessageKind>(kind);
    switch (reply.kind) {
    case MessageKind::Discover:
        reply.interfaces = reader.U32();
        break;
    case MessageKind::Open:
        reply.succeeded = reader.U8() != 0;
        reply.serverProcessId = reader.U32();
        reply.connection = reader.U32();
        break;
    case MessageKind::Command:
        reply.exitCode = reader.U32();
        if (reader.Remaining() > MAX_REPLY_TEXT)
            return std::nullopt;
        reply.text = reader.Rest();
        break;
    }
    if (!reader.Complete())
        return std::nullopt;
    return reply;
}

} // namespace devlink::sim
