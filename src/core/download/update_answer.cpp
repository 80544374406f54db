#include "core/download/update_answer.h"

#include "core/download/update_check.h"
#include "core/install/install_store.h"

void apply_package_check(InstallStore &store, const PackageCheck &check)
{
    if (!store.is_current(check.record))
        return;
    switch (check.verdict) {
    case PackageVerdict::Same:
        store.set_updatable(check.skin_id, false);
        break;
    case PackageVerdict::Changed:
        store.set_updatable(check.skin_id, true);
        break;
    case PackageVerdict::Learned:
        store.learn(check.skin_id, check.etag, check.last_modified, check.size);
        break;
    case PackageVerdict::Failed:
        // Logged by the checker; the skin stays as it was.
        break;
    }
}
