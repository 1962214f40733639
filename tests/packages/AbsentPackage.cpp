// Linked under the name libTesselAbsentPackage.so but never present under
// it: the package that the needing package cannot find.
int AbsentPackageFunction() { return 0; }
