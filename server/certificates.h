// The sandbox's own certificate authority and server certificate, made on first start
// in the state directory and reused afterwards.
#pragma once

#include <string>

namespace sandbox {

struct CertificatePaths {
  std::string caCert;      // PEM; what clients trust (QVAD_CA_FILE)
  std::string serverCert;  // PEM, for 127.0.0.1 and localhost, signed by the CA
  std::string serverKey;   // PEM, mode 0600
};

/// Makes the files under `stateDir` unless they exist and the server certificate is
/// valid for at least another day and for its names. Empty `error` on success.
/// `certName`, when given, is the only name the server certificate is for (so clients
/// connecting to 127.0.0.1 see a certificate for another host).
CertificatePaths ensureCertificates(const std::string& stateDir, std::string& error, const std::string& certName = {});

}  // namespace sandbox
