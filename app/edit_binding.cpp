#include "app/edit_binding.h"

#include "app/app_state.h"
#include "document/mesh_document.h"

void app_bind_edit_calls() {
    EditCalls& e = app_edit_calls();
    (void)e;
}
