// The exceptions of the picture codecs; their entry points catch them.
#ifndef VELMORANE_CODECS_PNG_GRAPHICS_ERRORS_H_
#define VELMORANE_CODECS_PNG_GRAPHICS_ERRORS_H_

#include <stdexcept>
#include <string>

namespace velmorane {

class EGraphicsException : public std::runtime_error {
 public:
  explicit EGraphicsException(const std::string& what) : std::runtime_error(what) {}
};
class EPngError : public EGraphicsException {
 public:
  using EGraphicsException::EGraphicsException;
};
class EBmpNotSupported : public EGraphicsException {
 public:
  using EGraphicsException::EGraphicsException;
};
class EInvalidBitCount : public EGraphicsException {
 public:
  using EGraphicsException::EGraphicsException;
};
class ESubscriptOutOfRange : public EGraphicsException {
 public:
  using EGraphicsException::EGraphicsException;
};
class EGraphicsAbort : public EGraphicsException {
 public:
  using EGraphicsException::EGraphicsException;
};

}  // namespace velmorane

#endif  // VELMORANE_CODECS_PNG_GRAPHICS_ERRORS_H_
