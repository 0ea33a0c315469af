//! A peer for the benchmark: encoding_rs's streaming decoder and encoder
//! over a file, 64 KiB at a time, to standard output, as a program that uses
//! the crate would.
//!
//!     encoding_rs_convert FROM TO FILE
//!
//! FROM and TO are WHATWG labels (Shift_JIS, EUC-JP, ISO-2022-JP, UTF-8).
//! Every source is decoded (UTF-8 too: that is its check) into a UTF-8 buffer,
//! which is the output when the target is UTF-8 and is encoded otherwise. What the
//! target cannot hold is written as encoding_rs writes it (a numeric
//! character reference). Status 1 on an error.

use encoding_rs::{CoderResult, Encoding, UTF_8};
use std::fs::File;
use std::io::{self, Read, Write};
use std::process::exit;

const BLOCK: usize = 64 * 1024;

fn encoding(label: &str) -> &'static Encoding {
    Encoding::for_label(label.as_bytes()).unwrap_or_else(|| {
        eprintln!("encoding_rs_convert: unknown encoding {}", label);
        exit(2)
    })
}

fn fill(file: &mut File, buf: &mut [u8]) -> usize {
    let mut got = 0;
    while got < buf.len() {
        match file.read(&mut buf[got..]) {
            Ok(0) => break,
            Ok(n) => got += n,
            Err(ref e) if e.kind() == io::ErrorKind::Interrupted => {}
            Err(e) => {
                eprintln!("encoding_rs_convert: {}", e);
                exit(1)
            }
        }
    }
    got
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    if args.len() != 4 {
        eprintln!("usage: encoding_rs_convert FROM TO FILE");
        exit(2);
    }
    let (from, to) = (encoding(&args[1]), encoding(&args[2]));
    let mut file = File::open(&args[3]).unwrap_or_else(|e| {
        eprintln!("encoding_rs_convert: {}: {}", args[3], e);
        exit(1)
    });
    let stdout = io::stdout();
    let mut out = stdout.lock();
    let mut decoder = from.new_decoder_without_bom_handling();
    let mut encoder = to.new_encoder();
    let mut input = vec![0u8; BLOCK];
    let mut middle = vec![0u8; 4 * BLOCK];
    let mut output = vec![0u8; 4 * BLOCK];
    let mut write = |bytes: &[u8]| {
        if let Err(e) = out.write_all(bytes) {
            eprintln!("encoding_rs_convert: standard output: {}", e);
            exit(1)
        }
    };
    loop {
        let got = fill(&mut file, &mut input);
        let last = got < BLOCK;
        // The decoded text of this block: straight into the output when the target is UTF-8.
        let mut read = 0;
        loop {
            let (result, r, w, _) = decoder.decode_to_utf8(&input[read..got], &mut middle, last);
            read += r;
            let text = &middle[..w];
            if to == UTF_8 {
                write(text);
            } else {
                // decode_to_utf8 writes whole characters only: the text is valid UTF-8.
                let text = unsafe { std::str::from_utf8_unchecked(text) };
                let mut done = 0;
                loop {
                    let (er, er_read, er_written, _) =
                        encoder.encode_from_utf8(&text[done..], &mut output, last && result == CoderResult::InputEmpty);
                    done += er_read;
                    write(&output[..er_written]);
                    if er == CoderResult::InputEmpty {
                        break;
                    }
                }
            }
            if result == CoderResult::InputEmpty {
                break;
            }
        }
        if last {
            break;
        }
    }
    if let Err(e) = out.flush() {
        eprintln!("encoding_rs_convert: standard output: {}", e);
        exit(1)
    }
}
