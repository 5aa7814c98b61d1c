#pragma once

#include <cstdint>

// Every error the program raises itself travels as one of these, thrown by
// value. They carry codes only; the layer that shows an error turns the class
// and code into a text from the message catalog.

class QnException {
 public:
  virtual ~QnException() = default;
};

class MidiDevException : public QnException {
 public:
  MidiDevException(int32_t code, uint32_t subCode) : code_(code), subCode_(subCode) {}
  int32_t Code() const { return code_; }
  uint32_t SubCode() const { return subCode_; }

 private:
  int32_t code_;
  uint32_t subCode_;
};

// The remaining classes carry one code each; the class tells the catalog group.
template <int Group>
class QnCodedException : public QnException {
 public:
  explicit QnCodedException(int32_t code) : code_(code) {}
  int32_t Code() const { return code_; }

 private:
  int32_t code_;
};

class QnSysExException : public QnCodedException<1> {
  using QnCodedException::QnCodedException;
};
class QnKbdDrvException : public QnCodedException<2> {
  using QnCodedException::QnCodedException;
};
class LqdStreamException : public QnCodedException<3> {
  using QnCodedException::QnCodedException;
};
// A command the user's choice does not allow.
class OperateException : public QnCodedException<4> {
 public:
  enum : int32_t {
    kNoSendSource,
    kNoSendTarget,
    kNoImportSource,
    kNoImportTarget,
    kNoData,
    kNotAcceptable,
    kListFirst,
  };
  using QnCodedException::QnCodedException;
};
