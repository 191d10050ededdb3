// Loads an exchange file with Open CASCADE and reports whether it accepted it:
// exit status 0 when the file was read and no entity carries a failure, 1 when
// the read failed, 2 when the load check lists failures. Prints the number of
// entities loaded as "entities: N".
#include <iostream>

#include <IFSelect_ReturnStatus.hxx>
#include <Interface_CheckIterator.hxx>
#include <Interface_InterfaceModel.hxx>
#include <STEPControl_Reader.hxx>
#include <XSControl_WorkSession.hxx>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: occt_step_reader <file.stp>\n";
        return 64;
    }
    STEPControl_Reader reader;
    const IFSelect_ReturnStatus status = reader.ReadFile(argv[1]);
    if (status != IFSelect_RetDone) {
        std::cout << "read status " << static_cast<int>(status) << "\n";
        return 1;
    }
    const Handle(Interface_InterfaceModel) model = reader.Model();
    std::cout << "entities: " << model->NbEntities() << "\n";
    const Interface_CheckIterator checks = reader.WS()->ModelCheckList();
    if (!checks.IsEmpty(Standard_True)) {
        checks.Print(std::cout, model, Standard_True);
        return 2;
    }
    return 0;
}
