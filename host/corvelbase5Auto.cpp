// The reference host's libcorvelbase5.so: the browsing and registration
// forms' detail lists and the names of the product's modules.
#include <algorithm>

#include "business/CorvelFramework.h"

namespace corvelbase5 {

void TvFrmVisDataSet::DetalheUnRegister(QWidget* detalhe) {
  FDetalhes.erase(std::remove_if(FDetalhes.begin(), FDetalhes.end(),
                                 [detalhe](const QPointer<QWidget>& d) { return d.isNull() || d.data() == detalhe; }),
                  FDetalhes.end());
}

std::string NomeModulo(int modulo) {
  switch (modulo) {
    case 0: return "vmGeral";
    case 50: return "vmVendas";
    case 76: return "vmFiscal";
    default: return "vm" + std::to_string(modulo);
  }
}

}  // namespace corvelbase5
