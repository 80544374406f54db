#pragma once

class InstallStore;
struct PackageCheck;

// Takes the server's answer about an installed skin's package into the
// store: the "更新" badge on or off, or the validators of a skin whose
// revision was unknown. An answer about a record that is no longer the
// skin's (updated, repaired or uninstalled while the question was out) is
// dropped, whatever validator it compared.
void apply_package_check(InstallStore &store, const PackageCheck &check);
