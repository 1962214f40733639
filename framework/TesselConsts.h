// The framework's own report and console texts. They keep their printf-style
// placeholders and are filled with Platform::Format.
#pragma once

namespace TesselConsts {

// Checks
inline constexpr char sExpButWasFmt[] = "%sexpected: <%s> but was: <%s>";
inline constexpr char sExpAndActualFmt[] = "%sexpected and actual were: <%s>";
inline constexpr char sIdenticalContent[] = "Memory content was identical:";
inline constexpr char sExceptionNothig[] = "nothing";
inline constexpr char sEmptyTest[] = "Empty test";
inline constexpr char sNoChecksExecuted[] = "No checks executed in TestCase";
inline constexpr char sExpectedException[] = "Expected exception \"%s\" but there was none. %s";
inline constexpr char sUnexpectedException[] = "unexpected exception";
inline constexpr char sSetUpFailed[] = "SetUp FAILED: ";
inline constexpr char sTearDownFailed[] = "TearDown FAILED: ";
inline constexpr char sTooManyAllowedLeaks[] = "Too many values in for AllowedLeakArray. Limit = ";

// Text runner
inline constexpr char sTesselTesting[] = "Tessel / Testing";
inline constexpr char sDecodeTime[] = "Time: %d:%2.2d:%2.2d.%d";
inline constexpr char sTestResultsOk[] = "OK: %d tests";
inline constexpr char sTestResultsFailures[] = "FAILURES!!!";
inline constexpr char sTestResults[] = "Test Results:";
inline constexpr char sRunCount[] = "Run:      %8d";
inline constexpr char sFailureCount[] = "Failures: %8d";
inline constexpr char sErrorsCount[] = "Errors:   %8d";
inline constexpr char sPrintError[] = "There was %d error:";
inline constexpr char sPrintErrors[] = "There were %d errors:";
inline constexpr char sPrintFailure[] = "There was %d failure:";
inline constexpr char sPrintFailures[] = "There were %d failures:";
inline constexpr char sFailedTestDetails[] = "%3d) [%s] %s.%s: %s\r\n     at %s\r\n      \"%s\"";
inline constexpr char sPressReturn[] = "Press <RETURN> to continue.";
inline constexpr char sStdOutWriteError[] = "Cannot write to standard output: %s";

// Decorators
inline constexpr char sSetupDecorator[] = "Setup decorator (%s)";
inline constexpr char sTestMemory[] = "Test memory of %s";
inline constexpr char sMemoryChanged[] = "Memory use changed by %d bytes";

// XML report runners
inline constexpr char sXmlCannotCreateDir[] = "Cannot create the directory \"%s\" for the report file \"%s\": %s";
inline constexpr char sXmlCannotCreateFile[] = "Cannot create the report file \"%s\": %s";
inline constexpr char sXmlCannotWriteFile[] = "Cannot write the report file \"%s\": %s";
inline constexpr char sXmlEmptyReportPath[] = "The report file name is empty: give the path of the XML report to write";
inline constexpr char sXmlConsoleWriteFailed[] = "Cannot write to the console: %s";
inline constexpr char sXmlStatus[] = "STATUS: %s.%s: %s";
inline constexpr char sXmlWarning[] = "WARNING: %s.%s: %s";
inline constexpr char sXmlFailedTestDetails[] = "%3d) %s.%s: %s\r\n     at %s\r\n      \"%s\"";
inline constexpr char sXmlFalhaNoTeste[] = "Falha no Teste: \"%s\" tempo=\"%s";
inline constexpr char sXmlErroNoTeste[] = "Erro no Teste: \"%s\" tempo=\"%s";
inline constexpr char sXmlFalha[] = "<Falha>[%s] %s</Falha>";
inline constexpr char sXmlErro[] = "<Erro>[%s] %s</Erro>";
inline constexpr char sXmlTotalDeTestes[] = "Total de Testes: %d";
inline constexpr char sXmlFalhas[] = "Falhas: %d";
inline constexpr char sXmlErros[] = "Erros: %d";
inline constexpr char sXmlTaxaDeSucesso[] = "Taxa de sucesso: %d%%";
inline constexpr char sXmlInicio[] = "Início: %s";
inline constexpr char sXmlTermino[] = "Término: %s";
inline constexpr char sXmlTempoDeExecucao[] = "Tempo de execução: %s s";
inline constexpr char sXmlSalvandoRelatorio[] = "Salvando relatório de testes: %s";

// Measuring memory monitor
inline constexpr char sMemoryLeakedIn[] =
    "Memory leak of %d bytes in %s (set-up: %d, test body: %d, tear-down: %d bytes)";
inline constexpr char sMemoryRecoveredIn[] =
    "%d bytes more freed than allocated in %s (set-up: %d, test body: %d, tear-down: %d bytes)";
inline constexpr char sMemoryLeakedInBody[] = "Memory leak of %d bytes in the test body";
inline constexpr char sMemoryRecoveredInBody[] = "%d bytes more freed than allocated in the test body";
inline constexpr char sPhaseSetUp[] = "set-up";
inline constexpr char sPhaseBody[] = "the test body";
inline constexpr char sPhaseTearDown[] = "tear-down";
inline constexpr char sPhaseSetUpOrTearDown[] = "set-up or tear-down";
inline constexpr char sPhaseSetUpAndTearDown[] = "set-up and tear-down";
inline constexpr char sPhaseWholeTest[] = "the test";

// Unit start-up and shut-down (counted). The texts are constants; the unit
// takes its place first in the start-up order all the same.
void InitializeUnit();
void FinalizeUnit();

}  // namespace TesselConsts
