#pragma once
#include <nlohmann/json.hpp>

#include "package/package_info.h"

namespace orvane::package {

// The package in the packing manifest's own terms, so that a packed program can be
// compared with the manifest it was packed from:
// {"version","banner","target_model","iVisualStyle","iLanguage","iFlashMode","iFWCount",
//  "options":{digit option name: bool, "iNoticeLevel": number},
//  "slots":[{"start","size","new_fw","fw_ext","records":[{"fws","fwe","model"}]}],
//  "aux":{tag: {"size": n}}}
// Slots are those in use; "records" lists the filled records and is left out when the
// group's first record is the placeholder (no constraint); aux lists non-empty slots.
nlohmann::json DescribePackage(const PackageInfo& info);

}  // namespace orvane::package
