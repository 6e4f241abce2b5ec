// What libqxframework.so exports. The library is built with hidden
// visibility, so only the classes, functions and constants marked
// QX_FRAMEWORK_API reach its dynamic symbol table; everything else stays
// inside it. A class marked as a whole exports its members, its vtable and
// its type information, which exceptions thrown across the library need.
// The static variant linked into the host libraries uses the same marks;
// their version script hides them there.
#ifndef GENERIC_EXPORT_H
#define GENERIC_EXPORT_H

#define QX_FRAMEWORK_API __attribute__((visibility("default")))

#endif  // GENERIC_EXPORT_H
