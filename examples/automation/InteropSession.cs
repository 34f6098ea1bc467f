// RyInet.Session from C# through the interop assembly of its type library, typed calls:
//   tlbimp ryinet_automation.tlb /out:RyInetAutomation.dll
//   csc /r:RyInetAutomation.dll InteropSession.cs
// (or in Visual Studio: Add Reference > COM > RYINET automation, which runs tlbimp.)
using System;
using System.Runtime.InteropServices;
using RyInetAutomation;

static class InteropSession
{
    static int Main(string[] args)
    {
        if (args.Length < 4) { Console.Error.WriteLine("usage: InteropSession SERVER USER PASSWORD FILE"); return 2; }
        Session session = new Session();
        // The Progress event: done and total in bytes (total -1 when the server gave no
        // size); cancel = true ends the transfer, and GetFile then fails with "cancelled".
        DateTime started = DateTime.Now;
        session.Progress += (double done, double total, ref bool cancel) =>
        {
            if (total > 0) Console.Write("\r{0:P0} of {1} bytes", done / total, total);
            cancel = DateTime.Now - started > TimeSpan.FromMinutes(10);
        };
        try
        {
            session.ShowBoxes = false;
            session.Connect(args[0], args[1], args[2], true);   // passive, the default
            double bytes = session.GetFile(args[3], System.IO.Path.GetFullPath(args[3]));
            Console.WriteLine("\n{0}: {1} bytes", args[3], bytes);
            session.Close();
        }
        catch (COMException e)
        {
            Console.Error.WriteLine("0x{0:X8}: {1}", e.ErrorCode, e.Message);
            return 1;
        }
        finally { Marshal.ReleaseComObject(session); }
        return 0;
    }
}
