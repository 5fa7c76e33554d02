// The module's TYPELIB 1 resource on posix: the record by which the platform
// layer's LoadTypeLibEx recognises a module file as carrying the Tellavo type
// library (the platform layer holds the library's content). The link keeps it
// even though no code refers to it.
extern "C" [[gnu::used]] const char TellavoTypeLibResource[] =
    "\x7FTYPELIB 1 {F9D49477-8E41-44EF-A935-C2B3A926075D}";
