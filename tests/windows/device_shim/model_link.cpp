#include "model_link.h"

namespace koa::shim {

namespace {

// ws2_32, declared here: <winsock2.h> does not build beside <ntddk.h>.
using Socket = std::uintptr_t;
constexpr Socket kInvalidSocket = ~static_cast<Socket>(0);
constexpr int kAfInet = 2;
constexpr int kSockStream = 1;
constexpr int kIpProtoTcp = 6;
constexpr int kSolSocket = 0xFFFF;
constexpr int kSoSndTimeo = 0x1005;
constexpr int kSoRcvTimeo = 0x1006;
constexpr int kTcpNoDelay = 1;

extern "C" {
int WINAPI WSAStartup(std::uint16_t version, void* data);
Socket WINAPI socket(int family, int type, int protocol);
int WINAPI connect(Socket s, const void* address, int length);
int WINAPI send(Socket s, const char* buffer, int length, int flags);
int WINAPI recv(Socket s, char* buffer, int length, int flags);
int WINAPI closesocket(Socket s);
int WINAPI setsockopt(Socket s, int level, int name, const char* value, int length);
}

// struct sockaddr_in: family, port (network order), address (network
// order), 8 bytes of zeros.
struct InetAddress {
  std::uint16_t family;
  std::uint8_t port[2];
  std::uint8_t address[4];
  std::uint8_t zero[8];
};
static_assert(sizeof(InetAddress) == 16);

Socket link = kInvalidSocket;
KMUTEX exchangeLock;

// One exchange at a time on the connection, whichever thread Wine
// dispatches from (the unload routine runs on another one).
class ExchangeLock {
 public:
  ExchangeLock() { KeWaitForSingleObject(&exchangeLock, Executive, KernelMode, FALSE, nullptr); }
  ~ExchangeLock() { KeReleaseMutex(&exchangeLock, FALSE); }
  ExchangeLock(const ExchangeLock&) = delete;
  ExchangeLock& operator=(const ExchangeLock&) = delete;
};

bool sendAll(const void* data, std::uint32_t length) {
  const char* bytes = static_cast<const char*>(data);
  while (length != 0) {
    const int chunk = static_cast<int>(length > (1u << 20) ? 1u << 20 : length);
    const int sent = send(link, bytes, chunk, 0);
    if (sent <= 0) return false;
    bytes += sent;
    length -= static_cast<std::uint32_t>(sent);
  }
  return true;
}

bool receiveAll(void* data, std::uint32_t length) {
  char* bytes = static_cast<char*>(data);
  while (length != 0) {
    const int chunk = static_cast<int>(length > (1u << 20) ? 1u << 20 : length);
    const int received = recv(link, bytes, chunk, 0);
    if (received <= 0) return false;
    bytes += received;
    length -= static_cast<std::uint32_t>(received);
  }
  return true;
}

bool sendRequest(const Request& request) {
  std::uint8_t header[kRequestSize] = {};
  put32(header + kRequestMagicAt, kMagic);
  put32(header + kRequestOpAt, static_cast<std::uint32_t>(request.op));
  put32(header + kRequestFileAt, request.file);
  put32(header + kRequestNameAt, request.name);
  put32(header + kRequestAAt, request.a);
  put32(header + kRequestBAt, request.b);
  put32(header + kRequestInputLengthAt, request.inputLength);
  return sendAll(header, kRequestSize) && (request.inputLength == 0 || sendAll(request.input, request.inputLength));
}

bool receiveAnswerHeader(Answer& answer) {
  std::uint8_t header[kAnswerSize];
  if (!receiveAll(header, kAnswerSize) || get32(header + kAnswerMagicAt) != kMagic) return false;
  answer.error = get32(header + kAnswerErrorAt);
  answer.length = get32(header + kAnswerLengthAt);
  return answer.length <= kMaxPayload;
}

bool broken() {
  disconnectModel();
  return false;
}

}  // namespace

bool connectModel(std::uint16_t port) {
  KeInitializeMutex(&exchangeLock, 0);
  std::uint8_t winsock[512];  // WSADATA, whose contents the shim never reads
  if (WSAStartup(0x0202, winsock) != 0) return false;
  link = socket(kAfInet, kSockStream, kIpProtoTcp);
  if (link == kInvalidSocket) return false;
  const ULONG timeout = kAnswerTimeoutMs;  // a DWORD of milliseconds
  const int one = 1;
  setsockopt(link, kSolSocket, kSoRcvTimeo, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  setsockopt(link, kSolSocket, kSoSndTimeo, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  setsockopt(link, kIpProtoTcp, kTcpNoDelay, reinterpret_cast<const char*>(&one), sizeof one);
  InetAddress address = {};
  address.family = kAfInet;
  address.port[0] = static_cast<std::uint8_t>(port >> 8);
  address.port[1] = static_cast<std::uint8_t>(port);
  address.address[0] = 127;
  address.address[3] = 1;
  if (connect(link, &address, sizeof address) != 0) return broken();
  return true;
}

void disconnectModel() {
  if (link != kInvalidSocket) closesocket(link);
  link = kInvalidSocket;
}

bool modelConnected() { return link != kInvalidSocket; }

bool exchange(const Request& request, void* payload, std::uint32_t capacity, Answer& answer) {
  const ExchangeLock lock;
  if (link == kInvalidSocket) return false;
  if (!sendRequest(request) || !receiveAnswerHeader(answer) || answer.length > capacity) return broken();
  if (answer.length != 0 && !receiveAll(payload, answer.length)) return broken();
  return true;
}

bool receiveDeviceList(std::uint8_t*& list, std::uint32_t& length) {
  list = nullptr;
  length = 0;
  const ExchangeLock lock;
  if (link == kInvalidSocket) return false;
  Request hello;
  hello.op = Op::Hello;
  Answer answer;
  if (!sendRequest(hello) || !receiveAnswerHeader(answer) || answer.error != 0) return broken();
  list = static_cast<std::uint8_t*>(ExAllocatePoolWithTag(NonPagedPool, answer.length + 2, kPoolTag));
  if (list == nullptr) return broken();
  if (answer.length != 0 && !receiveAll(list, answer.length)) {
    ExFreePoolWithTag(list, kPoolTag);
    list = nullptr;
    return broken();
  }
  length = answer.length;
  return true;
}

void report(const Message& message) {
  DbgPrint("koa-device-shim: %ls\n", message.text());
  Request request;
  request.op = Op::Report;
  request.input = message.text();
  request.inputLength = message.length() * static_cast<std::uint32_t>(sizeof(WCHAR));
  Answer answer;
  if (!exchange(request, nullptr, 0, answer)) DbgPrint("koa-device-shim: the model did not take the report\n");
}

}  // namespace koa::shim
