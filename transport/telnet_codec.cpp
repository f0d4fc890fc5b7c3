#include "transport/telnet_codec.h"

#include <utility>

namespace velmar::transport::telnet {

namespace {

// Where each wanted option's state is kept; -1 for an option that is refused.
int OurIndex(uint8_t option) {
  switch (option) {
    case kBinary:
      return 0;
    case kSuppressGoAhead:
      return 1;
    case kComPortOption:
      return 2;
  }
  return -1;
}

int TheirIndex(uint8_t option) {
  return option == kComPortOption ? -1 : OurIndex(option);
}

void Append(std::vector<uint8_t>* out, uint8_t verb, uint8_t option) {
  out->insert(out->end(), {kIac, verb, option});
}

}  // namespace

std::vector<uint8_t> Codec::Greeting() {
  std::vector<uint8_t> greeting;
  for (const uint8_t option : {kBinary, kSuppressGoAhead}) {
    Append(&greeting, kWill, option);
    Append(&greeting, kDo, option);
  }
  Append(&greeting, kWill, kComPortOption);
  return greeting;
}

void Codec::Escape(const uint8_t* data, int32_t length, std::vector<uint8_t>* out) {
  for (int32_t i = 0; i < length; ++i) {
    out->push_back(data[i]);
    if (data[i] == kIac) {
      out->push_back(kIac);
    }
  }
}

void Codec::AppendSubNegotiation(uint8_t option, const std::vector<uint8_t>& payload,
                                 std::vector<uint8_t>* out) {
  out->insert(out->end(), {kIac, kSb, option});
  Escape(payload.data(), static_cast<int32_t>(payload.size()), out);
  out->insert(out->end(), {kIac, kSe});
}

void Codec::Answer(uint8_t verb, uint8_t option, std::vector<uint8_t>* replies) {
  const bool about_ours = verb == kDo || verb == kDont;
  const int index = about_ours ? OurIndex(option) : TheirIndex(option);
  const uint8_t agree = about_ours ? kWill : kDo;
  const uint8_t refuse = about_ours ? kWont : kDont;
  if (index < 0) {
    if (verb == kDo || verb == kWill) {
      Append(replies, refuse, option);
    }
    return;
  }
  Side& side = about_ours ? m_ours[index] : m_theirs[index];
  const bool enable = verb == kDo || verb == kWill;
  if (enable && !side.on) {
    if (!side.asked) {
      Append(replies, agree, option);
    }
    side = {true, false};
  } else if (!enable && (side.on || side.asked)) {
    if (side.on) {
      Append(replies, refuse, option);
    }
    side = {false, false};
  }
  if (about_ours && option == kComPortOption) {
    m_com_port = side.on ? ComPort::kAgreed : ComPort::kRefused;
  }
}

void Codec::Take(const uint8_t* in, int32_t length, std::vector<uint8_t>* data,
                 std::vector<uint8_t>* replies) {
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t byte = in[i];
    switch (m_state) {
      case State::kData:
        if (byte == kIac) {
          m_state = State::kIac;
        } else {
          data->push_back(byte);
        }
        break;
      case State::kIac:
        m_state = State::kData;
        if (byte == kIac) {
          data->push_back(kIac);
        } else if (byte >= kWill) {
          m_verb = byte;
          m_state = State::kVerb;
        } else if (byte == kSb) {
          m_state = State::kSubOption;
        }  // any other command (NOP, GA, a stray SE) means nothing to the printer's bytes
        break;
      case State::kVerb:
        Answer(m_verb, byte, replies);
        m_state = State::kData;
        break;
      case State::kSubOption:
        m_sub = {byte, {}};
        m_state = State::kSub;
        break;
      case State::kSub:
      case State::kSubIac:
        if (m_state == State::kSub && byte == kIac) {
          m_state = State::kSubIac;
          break;
        }
        if (m_state == State::kSubIac && byte == kSe) {
          m_subs.push_back(std::move(m_sub));
          m_sub = {};
          m_state = State::kData;
          break;
        }
        // IAC IAC stands for 0xFF; IAC and any other command inside is taken as that byte.
        if (m_sub.payload.size() < kMaxSubNegotiation) {
          m_sub.payload.push_back(byte);
        }
        m_state = State::kSub;
        break;
    }
  }
}

std::vector<SubNegotiation> Codec::TakeSubNegotiations() {
  return std::exchange(m_subs, {});
}

}  // namespace velmar::transport::telnet
