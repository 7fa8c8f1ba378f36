#!/usr/bin/env node
// Local S3 storage for the integration tests: s3rver with the program's bucket, one extra key pair,
// signature version 2 checks that accept requests dated with the "Date" header, and no unsigned
// requests.
//
//   node launch.js --directory DIR [--port N] [--access-key-id ID --secret-key-file FILE]
//
// Listens on 127.0.0.1 only and prints "listening on 127.0.0.1:PORT" on standard output once ready;
// s3rver's own log goes to standard error. Stops on SIGTERM or SIGINT.
'use strict';

const fs = require('fs');
const Module = require('module');
const path = require('path');

const BUCKET = 'corvane_bmk';
const EXPECTED_S3RVER_VERSION = '3.7.1';

function die(message, code = 1) {
  process.stderr.write(`s3rver launcher: ${message}\n`);
  process.exit(code);
}

const USAGE =
  'Usage: node launch.js --directory DIR [--port N] [--access-key-id ID --secret-key-file FILE]\n' +
  '  --directory DIR         folder that holds the buckets (created when missing)\n' +
  '  --port N                port on 127.0.0.1 (0, the default, picks a free one)\n' +
  '  --access-key-id ID      access key id to accept (needs --secret-key-file)\n' +
  '  --secret-key-file FILE  file holding the secret key of that id\n';

function parseArguments(argv) {
  const options = { port: 0, directory: undefined, accessKeyId: undefined, secretKeyFile: undefined };
  const names = {
    '--port': 'port',
    '--directory': 'directory',
    '--access-key-id': 'accessKeyId',
    '--secret-key-file': 'secretKeyFile',
  };
  for (let i = 0; i < argv.length; i++) {
    const argument = argv[i];
    if (argument === '--help' || argument === '-h') {
      process.stdout.write(USAGE);
      process.exit(0);
    }
    if (!(argument in names)) die(`unknown option ${argument}\n${USAGE}`, 2);
    if (i + 1 >= argv.length) die(`${argument} needs a value`, 2);
    options[names[argument]] = argv[++i];
  }
  if (!/^\d{1,5}$/.test(String(options.port)) || Number(options.port) > 65535) {
    die(`--port needs a number from 0 to 65535, not "${options.port}"`, 2);
  }
  options.port = Number(options.port);
  if (!options.directory) die(`--directory is required\n${USAGE}`, 2);
  if ((options.accessKeyId === undefined) !== (options.secretKeyFile === undefined)) {
    die('--access-key-id and --secret-key-file go together', 2);
  }
  if (options.accessKeyId !== undefined && options.accessKeyId === '') die('--access-key-id is empty', 2);
  return options;
}

function readSecretKey(file) {
  let key;
  try {
    key = fs.readFileSync(file, 'utf8');
  } catch (error) {
    die(`cannot read the secret key file ${file}: ${error.message}`);
  }
  key = key.replace(/[\r\n]+$/, '');
  if (!key) die(`the secret key file ${file} is empty`);
  return key;
}

// s3rver 3.7.1 leaves the date line of the V2 string to sign empty for requests authorised by the
// Authorization header: parseHeader() reads the timestamp but the middleware never copies it into
// the canonical request. That is right only when x-amz-date is sent (S3 then signs an empty date
// line); a request dated with "Date" must sign that header's value. The middleware's helpers are
// private to its module, so the module is compiled here from its own source with the one missing
// assignment added, and put into the module cache before s3rver loads it. Every anchor the patch
// relies on must be found exactly once, or the launcher refuses to start.
const AUTH_MODULE = 's3rver/lib/middleware/authentication.js';
const ANCHORS = [
  // the canonical request starts without a timestamp ...
  '      timestamp: undefined,\n',
  // ... parseHeader() settles which header dates the request and returns it ...
  "  const timestamp = headers['x-amz-date'] || headers['date'];\n",
  '  return {\n    signature,\n    signatureProvided,\n    timestamp,\n  };\n}\n\nfunction parseQueryV2(',
  // ... and the V2 string to sign puts the canonical timestamp on the date line
  '    canonicalRequest.contentType,\n    canonicalRequest.timestamp,\n',
];
const HEADER_BRANCH =
  '    if (mechanisms.header) {\n' +
  '      const result = parseHeader(ctx.headers);\n' +
  '      ({ signature, signatureProvided } = result);\n' +
  '    } else if (mechanisms.queryV2) {\n';
const PATCHED_HEADER_BRANCH =
  '    if (mechanisms.header) {\n' +
  '      const result = parseHeader(ctx.headers);\n' +
  '      ({ signature, signatureProvided } = result);\n' +
  "      canonicalRequest.timestamp = ctx.headers['x-amz-date'] ? '' : result.timestamp;\n" +
  '    } else if (mechanisms.queryV2) {\n';

function countOccurrences(text, part) {
  let count = 0;
  for (let at = text.indexOf(part); at !== -1; at = text.indexOf(part, at + part.length)) count++;
  return count;
}

function patchAuthentication() {
  let file;
  try {
    file = require.resolve(AUTH_MODULE);
  } catch (error) {
    die(`s3rver is not installed (run scripts/setup): ${error.message}`);
  }
  if (require.cache[file]) die(`${file} was loaded before it could be patched`);
  const source = fs.readFileSync(file, 'utf8');
  for (const part of [...ANCHORS, HEADER_BRANCH]) {
    const count = countOccurrences(source, part);
    if (count !== 1) {
      die(
        `${file} no longer matches the signature V2 date patch (expected this text once, found it ` +
          `${count} times):\n${part}` +
          `The patch was written for s3rver ${EXPECTED_S3RVER_VERSION}; check the installed version.`,
      );
    }
  }
  const patched = new Module(file, module);
  patched.filename = file;
  patched.paths = Module._nodeModulePaths(path.dirname(file));
  patched._compile(source.replace(HEADER_BRANCH, PATCHED_HEADER_BRANCH), file);
  patched.loaded = true;
  require.cache[file] = patched;
  return patched;
}

// s3rver logs to standard output, which carries the ready line only: its log goes to standard error,
// as plain text. Its request lines are cut from koa-logger's coloured text at a fixed offset, so
// colours stay on (FORCE_COLOR, set before s3rver loads) and are stripped here instead.
function plainLogOnStandardError(server) {
  const winston = require(require.resolve('winston', { paths: [path.dirname(require.resolve('s3rver'))] }));
  const stripColours = winston.format(info => {
    info.message = String(info.message).replace(/\u001b\[[0-9;]*m/g, '');
    return info;
  });
  const levels = Object.keys(server.logger.levels || {});
  for (const transport of server.logger.transports || []) {
    if ('stderrLevels' in transport) {
      transport.stderrLevels = Object.fromEntries(levels.map(level => [level, true]));
    }
    transport.format = winston.format.combine(winston.format.splat(), stripColours(), winston.format.simple());
  }
}

// The program's bucket is private, and S3 refuses unsigned requests to it; s3rver serves them. Checked
// right after s3rver's request logger, so refusals show in the log.
function refuseUnsignedRequests(server) {
  const S3Error = require('s3rver/lib/models/error');
  if (!Array.isArray(server.middleware) || server.middleware.length < 2) {
    die('s3rver no longer keeps its middleware in a list; cannot refuse unsigned requests');
  }
  server.middleware.splice(1, 0, function refuseUnsigned(ctx, next) {
    const query = ctx.query;
    if ('authorization' in ctx.headers || 'Signature' in query || 'X-Amz-Algorithm' in query) return next();
    throw new S3Error('AccessDenied', 'Access Denied');
  });
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const secretKey = options.secretKeyFile !== undefined ? readSecretKey(options.secretKeyFile) : undefined;

  const authentication = patchAuthentication();
  process.env.FORCE_COLOR = '1';
  const S3rver = require('s3rver');
  if (require.cache[authentication.filename] !== authentication) {
    die('s3rver did not load the patched authentication middleware');
  }

  const AWSAccount = require('s3rver/lib/models/account');
  if (!AWSAccount.DUMMY_ACCOUNT || typeof AWSAccount.DUMMY_ACCOUNT.createKeyPair !== 'function') {
    die('s3rver/lib/models/account no longer has DUMMY_ACCOUNT.createKeyPair');
  }
  if (options.accessKeyId !== undefined) {
    // The built-in S3RVER/S3RVER pair would let any local client sign requests; only ours stays.
    AWSAccount.DUMMY_ACCOUNT.revokeAccessKey('S3RVER');
    AWSAccount.DUMMY_ACCOUNT.createKeyPair(options.accessKeyId, secretKey);
  }

  try {
    fs.mkdirSync(options.directory, { recursive: true });
  } catch (error) {
    die(`cannot create the folder ${options.directory}: ${error.message}`);
  }

  const server = new S3rver({
    address: '127.0.0.1',
    port: options.port,
    directory: path.resolve(options.directory),
    silent: false,
    // Path-style addresses only: a host name must never be taken for a bucket.
    vhostBuckets: false,
    configureBuckets: [{ name: BUCKET }],
  });
  plainLogOnStandardError(server);
  refuseUnsignedRequests(server);

  const address = await server.run();
  process.stdout.write(`listening on ${address.address}:${address.port}\n`);

  const stop = () => {
    server.close().finally(() => process.exit(0));
    if (server.httpServer.closeAllConnections) server.httpServer.closeAllConnections();
    // Keep-alive connections would hold close() open; the store is on disk already.
    setTimeout(() => process.exit(0), 500).unref();
  };
  process.on('SIGTERM', stop);
  process.on('SIGINT', stop);
}

main().catch(error => die(`cannot start: ${error && error.stack ? error.stack : error}`));
