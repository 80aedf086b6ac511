/* The stand-in for the QuickTime library that microtune loads before the
 * companion and keeps loaded while the companion is in use. Nothing in it
 * is ever called. */
typedef int QTJavaNativeStubUnused;
