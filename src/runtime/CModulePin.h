#pragma once

// Keeps the module loaded until the process ends, from the first object or thread of ours
// on. The static runtime keeps a record for each thread that used it, freed only when that
// thread ends while the module is loaded; and no code of ours may run in a module that has
// gone (a last Release on its way out, a thread leaving). A module that only registered or
// answered a class request still unloads.
class CModulePin {
public:
    static void Pin() noexcept;
};
