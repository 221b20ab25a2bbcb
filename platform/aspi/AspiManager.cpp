// Our ASPI manager. Host adapters are the SCSI hosts that carry a CD drive, in host
// order, the emulated drives' virtual adapter last. Exec requests run on a thread of
// their own and complete through SRB_Status and the event; an aborted request is
// forgotten, so its caller may free the block and the buffer at once.
#include <algorithm>
#include <cstring>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/AspiHost.h"

namespace {

struct PendingRequest {
  SRB_ExecSCSICmd* Srb = nullptr;
  bool Finished = false;
  std::thread Worker;
};

class Manager {
 public:
  ~Manager() {
    std::list<PendingRequest> all;
    {
      std::lock_guard lock(Mutex);
      all.swap(Requests);
      for (auto& request : all) request.Srb = nullptr;
    }
    for (auto& request : all) {
      if (request.Worker.joinable()) request.Worker.join();
    }
  }

  void Attach(const AspiHostServices* services) {
    std::lock_guard lock(Mutex);
    if (services != nullptr) {
      Host = *services;
      Attached = true;
    }
  }

  uint32_t SupportInfo() {
    const auto adapters = Adapters();
    if (adapters.empty()) return uint32_t{kSrbStatusNoAdapters} << 8;
    return (uint32_t{kSrbStatusDone} << 8) | static_cast<uint32_t>(std::min<size_t>(adapters.size(), 255));
  }

  uint32_t Send(void* block) {
    if (block == nullptr) return kSrbStatusInvalidSrb;
    auto* header = static_cast<TSrbHeader*>(block);
    switch (header->Command) {
      case kSrbCmdHaInquiry:
        return HaInquiry(*static_cast<SRB_HAInquiry*>(block));
      case kSrbCmdGetDeviceType:
        return GetDeviceType(*static_cast<SRB_GDEVBlock*>(block));
      case kSrbCmdExecScsi:
        return Exec(*static_cast<SRB_ExecSCSICmd*>(block));
      case kSrbCmdAbort:
        return Abort(*static_cast<SRB_Abort*>(block));
      default:
        header->SRB_Status = kSrbStatusInvalidCommand;
        return kSrbStatusInvalidCommand;
    }
  }

 private:
  struct Unit {
    uint32_t Index;
    AspiUnitInfo Info;
  };

  std::vector<Unit> Units() {
    std::vector<Unit> units;
    if (!Attached) return units;
    const uint32_t count = Host.UnitCount(Host.Context);
    for (uint32_t i = 0; i < count; ++i) {
      AspiUnitInfo info{};
      if (Host.GetUnit(Host.Context, i, &info) != 0) units.push_back({i, info});
    }
    return units;
  }

  // Host keys of the adapters, in adapter order.
  std::vector<uint32_t> Adapters() {
    std::vector<uint32_t> keys;
    for (const auto& unit : Units()) {
      if (unit.Info.DeviceType == 5) keys.push_back(unit.Info.HostKey);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
  }

  const Unit* Find(const std::vector<Unit>& units, uint32_t key, uint8_t target, uint8_t lun) {
    for (const auto& unit : units) {
      if (unit.Info.HostKey == key && unit.Info.Target == target && unit.Info.Lun == lun) return &unit;
    }
    return nullptr;
  }

  uint32_t HaInquiry(SRB_HAInquiry& srb) {
    const auto adapters = Adapters();
    if (srb.SRB_HaId >= adapters.size()) {
      srb.SRB_Status = kSrbStatusInvalidHa;
      return srb.SRB_Status;
    }
    const uint32_t key = adapters[srb.SRB_HaId];
    uint32_t targets = 8;
    for (const auto& unit : Units()) {
      if (unit.Info.HostKey == key) targets = std::max<uint32_t>(targets, uint32_t{unit.Info.Target} + 1);
    }
    srb.AdapterCount = static_cast<uint8_t>(std::min<size_t>(adapters.size(), 255));
    srb.AdapterScsiId = 7;
    std::memset(srb.ManagerName, ' ', sizeof srb.ManagerName);
    std::memcpy(srb.ManagerName, "QUARNEL ASPI", 12);
    std::memset(srb.AdapterName, ' ', sizeof srb.AdapterName);
    const char* identifier = key == kAspiVirtualHost ? "EMULATED" : "LINUX SCSI";
    std::memcpy(srb.AdapterName, identifier, std::strlen(identifier));
    std::memset(srb.HA_Unique, 0, sizeof srb.HA_Unique);
    srb.HA_Unique[3] = targets > 255 ? 0 : static_cast<uint8_t>(targets);
    srb.SRB_Status = kSrbStatusDone;
    return srb.SRB_Status;
  }

  uint32_t GetDeviceType(SRB_GDEVBlock& srb) {
    const auto adapters = Adapters();
    if (srb.SRB_HaId >= adapters.size()) {
      srb.SRB_Status = kSrbStatusInvalidHa;
      return srb.SRB_Status;
    }
    const auto units = Units();
    const Unit* unit = Find(units, adapters[srb.SRB_HaId], srb.SRB_Target, srb.SRB_Lun);
    if (unit == nullptr) {
      srb.SRB_Status = kSrbStatusNoDevice;
      return srb.SRB_Status;
    }
    srb.SRB_DeviceType = unit->Info.DeviceType;
    srb.SRB_Status = kSrbStatusDone;
    return srb.SRB_Status;
  }

  uint32_t Exec(SRB_ExecSCSICmd& srb) {
    const auto adapters = Adapters();
    if (srb.SRB_HaId >= adapters.size()) {
      srb.SRB_Status = kSrbStatusInvalidHa;
      return srb.SRB_Status;
    }
    if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > kSrbMaxCdb || (srb.SRB_BufLen > 0 && srb.SRB_BufPointer == nullptr)) {
      srb.SRB_Status = kSrbStatusInvalidSrb;
      return srb.SRB_Status;
    }
    const auto units = Units();
    const Unit* unit = Find(units, adapters[srb.SRB_HaId], srb.SRB_Target, srb.SRB_Lun);
    if (unit == nullptr) {
      srb.SRB_Status = kSrbStatusNoDevice;
      return srb.SRB_Status;
    }
    // The worker has copies of everything it needs; it writes back only under the lock.
    const uint32_t index = unit->Index;
    std::vector<uint8_t> cdb(srb.CDBByte, srb.CDBByte + srb.SRB_CDBLen);
    std::vector<uint8_t> data(srb.SRB_BufLen);
    const uint8_t direction = srb.SRB_Flags & (kSrbDirIn | kSrbDirOut);
    if (direction == kSrbDirOut && !data.empty()) std::memcpy(data.data(), srb.SRB_BufPointer, data.size());

    std::lock_guard lock(Mutex);
    Reap();
    srb.SRB_Status = kSrbStatusPending;
    Requests.emplace_back();
    PendingRequest* request = &Requests.back();
    request->Srb = &srb;
    request->Worker = std::thread([this, request, index, cdb = std::move(cdb), data = std::move(data), direction]() mutable {
      AspiUnitResult result{};
      Host.Execute(Host.Context, index, cdb.data(), static_cast<uint8_t>(cdb.size()), direction, data.data(),
                   static_cast<uint32_t>(data.size()), 10000, &result);
      Complete(*request, result, data);
    });
    return kSrbStatusPending;
  }

  void Complete(PendingRequest& request, const AspiUnitResult& result, const std::vector<uint8_t>& data) {
    std::lock_guard lock(Mutex);
    request.Finished = true;
    SRB_ExecSCSICmd* srb = request.Srb;
    request.Srb = nullptr;
    if (srb == nullptr) return;  // aborted
    const uint8_t direction = srb->SRB_Flags & (kSrbDirIn | kSrbDirOut);
    if (direction == kSrbDirIn && !data.empty()) {
      const size_t transferred = data.size() - std::min<size_t>(result.Residual, data.size());
      std::memcpy(srb->SRB_BufPointer, data.data(), transferred);
    }
    const size_t sense = std::min<size_t>(srb->SRB_SenseLen, kSrbSenseLength);
    std::memcpy(srb->SenseArea, result.Sense, sense);
    srb->HostStatus = result.Completed ? kHostStatusOk
                      : result.Refused ? kHostStatusRefused
                                       : kHostStatusSelectionTimeout;
    srb->TargetStatus = result.Status;
    srb->SRB_Status = result.Completed && result.Status == 0 ? kSrbStatusDone : kSrbStatusError;
    if ((srb->SRB_Flags & kSrbEventNotify) != 0 && srb->SRB_PostProc != nullptr) {
      Host.SignalEvent(Host.Context, srb->SRB_PostProc);
    }
  }

  uint32_t Abort(SRB_Abort& srb) {
    std::lock_guard lock(Mutex);
    for (auto& request : Requests) {
      if (request.Srb != nullptr && request.Srb == srb.SRB_ToAbort) {
        request.Srb = nullptr;
        srb.SRB_Status = kSrbStatusDone;
        return srb.SRB_Status;
      }
    }
    // Nothing pending under that block: it completed before the abort came.
    srb.SRB_Status = kSrbStatusDone;
    return srb.SRB_Status;
  }

  // Joins the workers that have finished; called with the lock held.
  void Reap() {
    for (auto it = Requests.begin(); it != Requests.end();) {
      if (it->Finished && it->Worker.joinable()) {
        it->Worker.join();  // it has left Complete, or is about to: the lock is ours
        it = Requests.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::mutex Mutex;
  AspiHostServices Host{};
  bool Attached = false;
  std::list<PendingRequest> Requests;
};

Manager& TheManager() {
  static Manager manager;
  return manager;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo() {
  try {
    return TheManager().SupportInfo();
  } catch (const std::exception&) {
    return uint32_t{kSrbStatusNoAdapters} << 8;
  }
}

__attribute__((visibility("default"))) uint32_t SendASPI32Command(void* srb) {
  try {
    return TheManager().Send(srb);
  } catch (const std::exception&) {
    return kSrbStatusError;
  }
}

__attribute__((visibility("default"))) void QuarnelAspiAttachHost(const AspiHostServices* services) {
  TheManager().Attach(services);
}
}
