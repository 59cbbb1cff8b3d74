// The discover-identify-select-update pass, with the operations it calls
// named, so that the pass itself reaches no device: DriveDiscovery::runUpdate
// (app/) runs it with the operations that reach the machine, a test with its
// own.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "update/discovery_step.h"
#include "update/drive_discovery.h"
#include "update/drive_record.h"
#include "update/result_code.h"

namespace koa {

struct UpdateOperations : DiscoveryOperations {
  // The transfer paths; each returns the target's result code.
  std::function<ResultCode(const DriveRecord&, const std::uint32_t& imageSize)> updateInboxDrive;
  std::function<ResultCode(const DriveRecord&, const std::uint32_t& imageSize)> updateIrstDrive;
  std::function<ResultCode(const DriveRecord&, const std::uint32_t& imageSize, std::int32_t vrocPort)>
      updateVrocDrive;
};

// The pass of DriveDiscovery::runUpdate: the gate compares with imageRevision
// and appends to targets. 2 when there is no candidate or no target,
// otherwise the result code of the last target.
ResultCode runUpdatePass(DriveDiscovery& discovery, DriveList& targets, std::u16string_view imageRevision,
                         const UpdateOperations& operations);

}  // namespace koa
