#pragma once
// The byte pipe between one download run and the printer.
//
// Calling order: construct, OpenConnection once, IsOpen, any number of Write calls and, inside
// the owner's OnDataReceived, Read calls; then CloseConnection, then destruction. The transport
// tells its owner of received bytes only through ReceiveSink::OnDataReceived.
//   IsOpen           true while the connection is open.
//   OpenConnection   true when the connection has been opened; on failure nothing is held.
//   CloseConnection  false when it was not open; true after closing it. Once it returns, no
//                    OnDataReceived is running or will run.
//   Write            sends `length` bytes; false for a length of 0 or less, or when any byte
//                    failed. The caller is done with the bytes when it returns.
//   AwaitSent        after a Write, waits (briefly, bounded by the line time) until what was
//                    written has left for the printer; false when it did not, or the connection
//                    was lost first. What cannot tell says true while the connection stands.
//   ConnectionLost   true once the line hung up, the device went away or the peer closed or
//                    reset the connection; the owner is also told through OnConnectionLost.
//   Read             places at most `capacity` received bytes in `buffer` and returns their
//                    count, 0 when there were none or on failure; never waits for bytes.
//   LastOpenFailure  why the last OpenConnection failed; kind kNone after a success.

#include <cstdint>

#include "transport/open_failure.h"

namespace velmar::transport {

class Transport {
 public:
  virtual ~Transport() = default;
  virtual bool IsOpen() const = 0;
  virtual bool OpenConnection() = 0;
  virtual bool CloseConnection() = 0;
  virtual bool Write(const uint8_t* data, int32_t length) = 0;
  virtual int32_t Read(uint8_t* buffer, int32_t capacity) = 0;
  virtual bool AwaitSent() { return IsOpen() && !ConnectionLost(); }
  virtual bool ConnectionLost() const { return false; }
  virtual OpenFailure LastOpenFailure() const { return {}; }
};

// The owner of a transport: called each time bytes have arrived, on the transport's delivery
// thread. The owner takes the bytes with Read.
class ReceiveSink {
 public:
  virtual void OnDataReceived() = 0;
  // How many more bytes the owner needs at least before it can judge what it has, so that a
  // transport may hold a delivery back while they are still crossing the line; 0 when it awaits
  // nothing, and what it is then sent is of no hurry.
  virtual int32_t BytesDue() { return 0; }
  // The connection is gone (see Transport::ConnectionLost), told once, on the delivery thread,
  // after every byte received before it was delivered; never while the transport is inside a
  // call the owner made.
  virtual void OnConnectionLost() {}

 protected:
  ~ReceiveSink() = default;
};

}  // namespace velmar::transport
