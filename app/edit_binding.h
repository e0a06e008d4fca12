#pragma once

// Points app_edit_calls() at the process-wide document's edit and selection operations. The
// window calls it when it is made; tests that drive the key table without a window may too.
void app_bind_edit_calls();
