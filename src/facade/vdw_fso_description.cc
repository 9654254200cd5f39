// VDW_FsoDescription.
#include "facade/vdw_fso_description.h"

#include "request/vdw_multipart_data.h"

void VDW_FsoDescription::marshal(VDW_MultipartData& part, bool with_replicated) const {
    part.add_part_item("Isdir", is_dir);
    part.add_part_item("FrozenVersionOid", frozen_oid);
    part.add_part_item("FrozenVersion", frozen_version.c_str());
    part.add_part_item("UnfrozenVersionOid", unfrozen_oid);
    part.add_part_item("UnfrozenVersion", unfrozen_version.c_str());
    part.add_part_item("ConfigSpecRule", cspec_rule ? cspec_rule->c_str() : "");
    part.add_part_item("Mtime", mtime);
    part.add_part_item("Size", static_cast<long long>(size));
    if (slink_text) part.add_part_item("SlinkText", slink_text->c_str());
    if (checkout) {
        part.add_part_item("CheckedOut", true);
        part.add_part_item("Reserved", checkout->reserved);
    }
    if (vob) {
        part.add_part_item("Vob", true);
        part.add_part_item("Root", vob->root);
        part.add_part_item("Public", vob->is_public);
        if (with_replicated) part.add_part_item("Replicated", vob->replicated);
    }
}
