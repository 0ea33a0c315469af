// The mark of a function of the converters' inner loops: it is inlined into
// the loop whatever the size of the unit it is compiled in, since a call per
// unit costs more than the unit.
#pragma once

#if defined(__GNUC__)
#define KOTRAN_HOT inline __attribute__((always_inline))
#else
#define KOTRAN_HOT inline
#endif
