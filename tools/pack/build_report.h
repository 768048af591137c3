#pragma once
// What the packer tells about a package it wrote or shows: one line per slot with the image's
// digest, and the warnings about a package that packs but would take no drive it names.
#include <string>
#include <vector>

#include "pack/manifest.h"
#include "package/package_info.h"

namespace orvane::pack {

// SHA-256 of slot n's image as the program flashes it: deciphered when the package stores
// images enciphered (bWinFlash off), as stored otherwise. n must be a slot in use.
std::string SlotImageDigest(const package::PackageInfo& info, int n);

// "slot 1: 1500 bytes, new revision 2.10, DEF GM900001, SHA-256 <hex>" for each slot in use of
// the written package. Slots the manifest gave are described by their plain image (before
// enciphering); slots kept from the base by their image as the program flashes it.
std::vector<std::string> SlotSummaryLines(const Manifest& m, const package::PackageInfo& written);

// Warnings about a package that is well-formed but probably not what was meant.
std::vector<std::string> PackageWarnings(const package::PackageInfo& written);

}  // namespace orvane::pack
