#pragma once

// The end action of an unattended run. The command line sets only the first five; the
// order is fixed because stored settings and the end-action code rely on it.
enum TDownMode
{
    dmNone,
    dmPowerOff,
    dmShutdown,
    dmLogOff,
    dmRestart,
    dmIdleOff,
    dmHybrid
};

// The suspend kind of end action; a TDownMode action, when set, takes its place.
enum TSuspendMode
{
    smNone,
    smStandby,
    smHibernate
};
