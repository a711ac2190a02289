// The plain-text adapter reports of the debug file (see text_report.h); reads records only.
#include "report/text_report.h"

#include "adapter/hba_entry.h"
#include "log/debug_log.h"

void printHbaReport(const AdapterList& adapters, const char* heading) {
    debugPrint("%s", heading);
    for (const HbaEntry& entry : adapters) {
        const HbaEntry* e = &entry;
        debugPrint("HBA=%d; MODEL=%s; MODEL_DESC=%s; FAMILY_ID=%s; SUPPORTED=%d; ", e->adapterNumber,
                   e->model.c_str(), e->modelDesc.c_str(), e->familyId.c_str(), e->supported);
        if (isNicOrIscsiEntry(*e))
            debugPrint("MAC=%s; ", e->mac.c_str());
        else
            debugPrint("WWPN=%s; ", e->wwpn.c_str());
        debugPrint("FW=%s; BC=%s; DeviceID=%X; VendorID=%X; SubDeviceID=%X; SubVendorID=%X; Bus=%X; "
                   "Dev=%X; Func=%X; SN=%s",
                   e->fwVersion.c_str(), e->bcVersion.c_str(), e->deviceId, e->vendorId, e->subDeviceId,
                   e->subVendorId, e->busNumber, e->device, e->function, e->serialNumber.c_str());
        debugPrint("; GROUP=%d", static_cast<int>(e->groupNumber));
        debugPrint("; FFV_SUP=%d", e->ffvSupported);
        if (!isLegacyEntry(*e))
            debugPrint("; CNA_FW=%d.%d.%d.%d", static_cast<int>(e->cnaFwVersion.major),
                       static_cast<int>(e->cnaFwVersion.minor), static_cast<int>(e->cnaFwVersion.release),
                       static_cast<int>(e->cnaFwVersion.build));
        debugPrint("\n");
    }
}

void printResultReport(const AdapterList& adapters) {
    printHbaReport(adapters, "\n[Resulting HBA Configuration]\n");
    debugPrint("\n[Comparison with Configuration File]\n");
    for (const HbaEntry& entry : adapters) {
        const HbaEntry* e = &entry;
        if (e->supported != 1)
            continue;
        debugPrint("Model     = %s\n", e->model.c_str());
        debugPrint("ModelDesc = %s\n", e->modelDesc.c_str());
        debugPrint("pci_id    = %X\n", e->deviceId);
        debugPrint("vendor_id = %X\n", e->vendorId);
        debugPrint("subsys_id = %X\n", e->subDeviceId);
        debugPrint("subven_id = %X\n", e->subVendorId);
        debugPrint("initial  fw_version = %s\n", e->fwVersion.c_str());
        debugPrint("packaged fw_version = %s\n", e->packagedFwVersion.c_str());
        debugPrint("fw download status  = %d\n", static_cast<int>(e->fwDownloadStatus));
        if (isLegacyEntry(*e)) {
            debugPrint("initial  bc_version = %s\n", e->bcVersion.c_str());
            debugPrint("packaged bc_version = %s\n", e->packagedBcVersion.c_str());
            debugPrint("bc download status  = %d\n", static_cast<int>(e->bcDownloadStatus));
        }
        debugPrint("\n");
    }
}
