#include "LineDiagnosis.h"

#include "SerialBase.h"

LineDiagnosis DiagnoseLine(int comNumber, const std::string& device) {
    LineDiagnosis diagnosis;
    if (!device.empty()) {
        diagnosis.device = InspectPortDevice(device);
    }
    CSerialBase port;
    const std::string name = "\\\\.\\COM" + std::to_string(comNumber);
    diagnosis.openResult = port.Open(name.c_str(), 0, 0, false);
    if (diagnosis.openResult != 0) {
        return diagnosis;
    }
    for (const RateRecord& record : ObserveLine(port)) {
        diagnosis.rates.push_back(ClassifyRate(record));
    }
    port.Close();
    diagnosis.summary = SummariseLine(diagnosis.rates);
    return diagnosis;
}
