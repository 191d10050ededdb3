// Loads an exchange file with Open CASCADE: exit status 0 when the file was
// read with the expected number of entities and no entity carries a failure.
// Usage: occt_step_reader <file.stp> <entity count>
#include <cstdlib>
#include <iostream>

#include <Interface_CheckIterator.hxx>
#include <STEPControl_Reader.hxx>
#include <XSControl_WorkSession.hxx>

int main(int argc, char** argv) {
    STEPControl_Reader reader;
    if (argc != 3 || reader.ReadFile(argv[1]) != IFSelect_RetDone) {
        return 1;
    }
    const Interface_CheckIterator checks = reader.WS()->ModelCheckList();
    checks.Print(std::cout, reader.Model(), Standard_True);
    std::cout << "entities: " << reader.Model()->NbEntities() << "\n";
    return reader.Model()->NbEntities() == std::atoi(argv[2]) && checks.IsEmpty(Standard_True) ? 0 : 2;
}
