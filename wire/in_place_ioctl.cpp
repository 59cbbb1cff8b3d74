#include "wire/in_place_ioctl.h"

#include "platform/platform.h"

namespace koa {

std::optional<std::uint32_t> sendInPlace(Handle device, std::uint32_t ioControlCode, RequestBuffer& request,
                                         std::uint32_t requestLength, std::uint32_t answerLength) {
  std::uint32_t bytesReturned = 0;
  if (!currentPlatform().DeviceIoControl(device, ioControlCode, /*inBuffer=*/request.data(),
                                         /*inBufferSize=*/requestLength, /*outBuffer=*/request.data(),
                                         /*outBufferSize=*/answerLength, &bytesReturned))
    return std::nullopt;
  return bytesReturned;
}

}  // namespace koa
