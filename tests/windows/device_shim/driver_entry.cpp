// The device shim: a driver that Wine's winedevice.exe loads as a service
// and that presents a simulated machine's devices to the Windows programs
// of the prefix (device_objects.h), relaying every open, close and device
// control to the model (model_link.h) and completing each with the model's
// answer. The service's ModelPort value names the model's TCP port on
// 127.0.0.1.
#include "device_objects.h"
#include "model_link.h"
#include "win32_error_status.h"

namespace koa::shim {

namespace {

DeviceList deviceList;
LONG lastFile = 0;

// A model that is gone answers every request with this: the program sees
// ERROR_DEVICE_NOT_CONNECTED, the runner sees the model's exit.
constexpr NTSTATUS kModelGone = static_cast<NTSTATUS>(0xC000009Du);  // STATUS_DEVICE_NOT_CONNECTED

NTSTATUS complete(IRP* irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

ShimDevice& shimDevice(DEVICE_OBJECT* device) { return *static_cast<ShimDevice*>(device->DeviceExtension); }

std::uint32_t fileNumber(const FILE_OBJECT* file) {
  return file == nullptr ? 0 : static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(file->FsContext));
}

// Wine does not wait for this answer (the open has already succeeded when
// the IRP arrives), but the model sees every open, in order, and says when
// it would have refused one.
NTSTATUS WINAPI dispatchCreate(DEVICE_OBJECT* device, IRP* irp) {
  const ShimDevice& shim = shimDevice(device);
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  if (shim.name == nullptr || stack->FileObject == nullptr) return complete(irp, STATUS_ACCESS_DENIED, 0);
  const auto file = static_cast<std::uint32_t>(InterlockedIncrement(&lastFile));
  stack->FileObject->FsContext = reinterpret_cast<void*>(static_cast<std::uintptr_t>(file));
  Request request;
  request.op = Op::Create;
  request.file = file;
  request.name = shim.name->index;
  request.a = stack->Parameters.Create.ShareAccess;
  request.b = stack->Parameters.Create.Options;
  Answer answer;
  if (!exchange(request, nullptr, 0, answer)) return complete(irp, kModelGone, 0);
  return complete(irp, static_cast<NTSTATUS>(statusForError(answer.error)), 0);
}

NTSTATUS WINAPI dispatchClose(DEVICE_OBJECT* /*device*/, IRP* irp) {
  const std::uint32_t file = fileNumber(IoGetCurrentIrpStackLocation(irp)->FileObject);
  if (file == 0) return complete(irp, STATUS_SUCCESS, 0);
  Request request;
  request.op = Op::Close;
  request.file = file;
  Answer answer;
  if (!exchange(request, nullptr, 0, answer)) return complete(irp, kModelGone, 0);
  return complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS WINAPI dispatchCleanup(DEVICE_OBJECT* /*device*/, IRP* irp) { return complete(irp, STATUS_SUCCESS, 0); }

// METHOD_BUFFERED: one system buffer holds the input and receives the
// output, as the model expects. The program sends no other kind; another is
// refused and reported rather than guessed at.
NTSTATUS WINAPI dispatchDeviceControl(DEVICE_OBJECT* /*device*/, IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  if ((code & 3) != METHOD_BUFFERED) {
    Message message;
    report(message.add("a device control with a transfer method other than METHOD_BUFFERED: ").hex(code));
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  Request request;
  request.op = Op::DeviceControl;
  request.file = fileNumber(stack->FileObject);
  request.a = code;
  request.b = outputLength;
  request.input = buffer;
  request.inputLength = inputLength;
  Answer answer;
  if (!exchange(request, buffer, outputLength, answer)) return complete(irp, kModelGone, 0);
  const auto status = static_cast<NTSTATUS>(statusForError(answer.error));
  return complete(irp, status, copiesOutput(static_cast<std::uint32_t>(status)) ? answer.length : 0);
}

// Wine's IoRegisterDeviceInterface and IoSetDevicePropertyData ask the
// device object for its identifiers; nothing else of PnP reaches the shim.
NTSTATUS WINAPI dispatchPnp(DEVICE_OBJECT* device, IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MinorFunction == IRP_MN_QUERY_ID) {
    const BUS_QUERY_ID_TYPE type = stack->Parameters.QueryId.IdType;
    if (type == BusQueryDeviceID || type == BusQueryInstanceID) {
      WCHAR* id = queryId(shimDevice(device), type);
      return complete(irp, id != nullptr ? STATUS_SUCCESS : STATUS_NO_MEMORY, reinterpret_cast<ULONG_PTR>(id));
    }
  }
  const NTSTATUS status = irp->IoStatus.Status;
  return complete(irp, status, irp->IoStatus.Information);
}

// The service key's ModelPort (REG_DWORD); 0 when there is none.
std::uint16_t modelPort(UNICODE_STRING* serviceKey) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, serviceKey, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  HANDLE key = nullptr;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return 0;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"ModelPort");
  std::uint8_t buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)] = {};
  auto* value = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer);
  ULONG size = 0;
  std::uint16_t port = 0;
  if (NT_SUCCESS(ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, sizeof buffer, &size)) &&
      value->Type == REG_DWORD && value->DataLength == sizeof(ULONG)) {
    ULONG data = 0;
    RtlCopyMemory(&data, value->Data, sizeof data);
    if (data <= 0xFFFF) port = static_cast<std::uint16_t>(data);
  }
  ZwClose(key);
  return port;
}

void releaseEverything(DRIVER_OBJECT* driver) {
  removeDevices(driver);
  freeDeviceList(deviceList);
}

void WINAPI unload(DRIVER_OBJECT* driver) {
  releaseEverything(driver);
  Request goodbye;
  goodbye.op = Op::Goodbye;
  Answer answer;
  if (!exchange(goodbye, nullptr, 0, answer)) DbgPrint("koa-device-shim: the model was gone before the unload\n");
  disconnectModel();
}

}  // namespace

}  // namespace koa::shim

extern "C" NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* serviceKey) {
  using namespace koa::shim;
  driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreate;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatchClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatchCleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchDeviceControl;
  driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
  driver->DriverUnload = unload;

  const std::uint16_t port = modelPort(serviceKey);
  if (port == 0) {
    DbgPrint("koa-device-shim: the service key has no ModelPort\n");
    return STATUS_INVALID_PARAMETER;
  }
  if (!connectModel(port)) {
    DbgPrint("koa-device-shim: no model answers on 127.0.0.1:%u\n", static_cast<unsigned>(port));
    return kModelGone;
  }
  std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;
  Message problem;
  bool ok = receiveDeviceList(bytes, length);
  if (!ok) problem.add("the model sent no device list");
  ok = ok && readDeviceList(bytes, length, deviceList, problem);
  if (bytes != nullptr) ExFreePoolWithTag(bytes, kPoolTag);
  ok = ok && presentDevices(driver, deviceList, problem);
  if (!ok) {
    report(problem);
    releaseEverything(driver);
    disconnectModel();
    return STATUS_UNSUCCESSFUL;
  }
  DbgPrint("koa-device-shim: %u device nodes, %u names from the model on port %u\n", deviceList.nodeCount,
           deviceList.nameCount, static_cast<unsigned>(port));
  return STATUS_SUCCESS;
}
